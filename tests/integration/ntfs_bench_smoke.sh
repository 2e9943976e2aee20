#!/usr/bin/env bash
# Keeps the NTFS scan benchmark working: a small run of bench/ntfs_bench.sh.
set -euo pipefail
bin=${1:?folder of the built binaries}
here=$(cd "$(dirname "$0")" && pwd)
out=$(REPEAT=1 "$here/../../bench/ntfs_bench.sh" "$bin" 3000)
echo "$out"
grep -q "records/s" <<<"$out" || { echo "FAIL: no figures" >&2; exit 1; }
grep -q "memory per tree node" <<<"$out" || { echo "FAIL: no memory figure" >&2; exit 1; }

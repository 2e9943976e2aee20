#!/bin/bash
# Keeps the recovery benchmark working: a small generated FAT32 volume, one run of each
# case, and qvr must have written the deleted files it found.
set -euo pipefail
BIN=${1:?folder of the built binaries}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
bash "$ROOT/bench/fat_gen.sh" "$WORK/bench.img" 400 >/dev/null
OUT=$(REPEAT=1 BENCH_TMP="$WORK" bash "$ROOT/bench/recover_bench.sh" "$BIN" "$WORK/bench.img")
echo "$OUT"
for row in "qvr recover / (LogLevel info, default)" "qvr recover / (LogLevel error)" "tsk_recover" \
           "cat of the same bytes"; do
    grep -qF "$row" <<<"$OUT" || { echo "missing row: $row"; exit 1; }
done
files=$(sed -n 's/.*qvr recovered \([0-9]*\) files.*/\1/p' <<<"$OUT")
[ "${files:-0}" -ge 40 ] || { echo "only ${files:-0} files recovered"; exit 1; }

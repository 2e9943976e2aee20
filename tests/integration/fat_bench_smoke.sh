#!/bin/bash
# Keeps the FAT benchmark working: a small generated volume, one run of each case.
set -euo pipefail
BIN=${1:?folder of the built binaries}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$(REPEAT=1 bash "$ROOT/bench/fat_bench.sh" "$BIN" "${ENTRIES:-400}")
echo "$OUT"
for row in "fls -r -d -p" "qvr scan (LogLevel info, default)" "qvr scan (LogLevel error)"; do
    grep -qF "$row" <<<"$OUT" || { echo "missing row: $row"; exit 1; }
done
# qvr must have listed the generated entries (folders and files, a fifth deleted).
entries=$(sed -n 's/.*: \([0-9]*\) entries scanned by qvr.*/\1/p' <<<"$OUT")
[ "${entries:-0}" -ge 300 ] || { echo "only ${entries:-0} entries scanned"; exit 1; }

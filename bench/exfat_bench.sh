#!/bin/bash
# Scans a large exFAT volume with `qvr scan` beside The Sleuth Kit's `fls -r -d -p`, the
# same measurements as the FAT32 benchmark (wall time, peak memory, entries per second),
# so the two volumes of the same tree can be compared per entry.
#   bench/exfat_bench.sh BIN_DIR [ENTRIES] [IMAGE]
# ENTRIES defaults to 50,000; IMAGE is generated with bench/exfat_gen.sh when not given.
set -euo pipefail
BIN=${1:?folder holding qvr}
ENTRIES=${2:-50000}
IMG=${3:-}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
if [ -z "$IMG" ]; then
    IMG="$WORK/bench.img"
    echo "generating an exFAT volume with $ENTRIES entries..."
    bash "$HERE/exfat_gen.sh" "$IMG" "$ENTRIES" >/dev/null
fi
bash "$HERE/fat_bench.sh" "$BIN" "$ENTRIES" "$IMG"

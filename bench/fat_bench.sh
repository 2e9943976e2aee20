#!/bin/bash
# Scans a large FAT32 volume with `qvr scan` (LogLevel info, then error) and with The
# Sleuth Kit's `fls -r -d -p` in the same run, and prints wall time, peak memory and
# entries per second side by side, with the speed-up over fls against its target
# (error: 7 times, info: 4 times).
#   bench/fat_bench.sh BIN_DIR [ENTRIES] [IMAGE]
# ENTRIES defaults to 50,000; IMAGE is generated with bench/fat_gen.sh when not given
# (../shared/bench/make-fat32.sh makes the volume of the published figures).
# REPEAT (default 5) runs of each after one warm-up; the median is shown.
set -euo pipefail
BIN=${1:?folder holding qvr}
ENTRIES=${2:-50000}
IMG=${3:-}
REPEAT=${REPEAT:-5}
QVR="$BIN/qvr"
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for tool in fls /usr/bin/time python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
if [ -z "$IMG" ]; then
    IMG="$WORK/bench.img"
    echo "generating a FAT32 volume with $ENTRIES entries..."
    bash "$HERE/fat_gen.sh" "$IMG" "$ENTRIES" >/dev/null
fi
printf 'LogLevel=error\n' >"$WORK/error.ini"
printf 'LogLevel=info\n' >"$WORK/info.ini"

# median of REPEAT after a warm-up: prints "seconds peak-KiB cpu-seconds output-lines"
measure() {
    local runs=() line
    "$@" >/dev/null 2>&1 || true
    for _ in $(seq 1 "$REPEAT"); do
        rm -f "$WORK/qvr.log"
        /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >"$WORK/out" 2>/dev/null || true
        read -r wall kib user sys <"$WORK/time"
        runs+=("$wall $kib $(python3 -c "print(round($user + $sys, 2))") $(wc -l <"$WORK/out")")
    done
    printf '%s\n' "${runs[@]}" | sort -g | sed -n "$(( (REPEAT + 1) / 2 ))p"
}

fls_r=$(measure fls -r -d -p "$IMG")
info_r=$(QUENVAR_PROFILE="$WORK/info.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
error_r=$(QUENVAR_PROFILE="$WORK/error.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
entries=$("$QVR" --log "$WORK/count.log" scan "$IMG" --json | python3 -c "import json,sys; d=json.load(sys.stdin); print(len(d['entries'] if isinstance(d, dict) else d))")
deleted=$(fls -r -d -p "$IMG" | grep -vc OrphanFiles || true)

python3 - "$fls_r" "$info_r" "$error_r" "$entries" "$deleted" "$IMG" <<'PY'
import sys
fls, info, error = (s.split() for s in sys.argv[1:4])
entries, deleted, img = int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
print(f"image: {img}: {entries} entries scanned by qvr, {deleted} deleted entries listed by fls")
print(f"{'run':36} {'wall s':>8} {'cpu s':>7} {'peak MiB':>9} {'lines out':>10} {'entries/s':>11} {'vs fls':>7} {'target':>7}")
base = float(fls[0])
runs = (("fls -r -d -p", fls, None), ("qvr scan (LogLevel info, default)", info, 4),
        ("qvr scan (LogLevel error)", error, 7))
for name, (sec, kib, cpu, lines), target in runs:
    s = max(float(sec), 0.005)
    goal = f"{target}x" if target else ""
    print(f"{name:36} {float(sec):8.2f} {float(cpu):7.2f} {int(kib)/1024:9.1f} {int(lines):10d} {entries/s:11.0f} "
          f"{base/s:6.1f}x {goal:>7}")
PY

#!/bin/bash
# Scans a large FAT32 volume with `qvr scan` (default profile, then "LogLevel" error)
# and with The Sleuth Kit's `fls -r -d -p` in the same run, and prints wall time, peak
# memory and entries per second side by side. Also measures what the walk's name check
# (a test file created, reopened and deleted per entry) costs on this machine.
#   bench/fat_bench.sh BIN_DIR [ENTRIES] [IMAGE]
# ENTRIES defaults to 50,000; IMAGE is generated with bench/fat_gen.sh when not given.
# REPEAT (default 3) runs of each; the best is shown.
set -euo pipefail
BIN=${1:?folder holding qvr}
ENTRIES=${2:-50000}
IMG=${3:-}
REPEAT=${REPEAT:-3}
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

# best-of-REPEAT: prints "seconds peak-KiB cpu-seconds output-lines"
measure() {
    local best="" line
    for _ in $(seq 1 "$REPEAT"); do
        rm -f "$WORK/qvr.log"
        /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >"$WORK/out" 2>/dev/null || true
        read -r wall kib user sys <"$WORK/time"
        line="$wall $kib $(python3 -c "print(round($user + $sys, 2))") $(wc -l <"$WORK/out")"
        if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if float('${line%% *}') < float('${best%% *}') else 1)"; then
            best=$line
        fi
    done
    echo "$best"
}

fls_r=$(measure fls -r -d -p "$IMG")
info_r=$(QUENVAR_PROFILE="$WORK/info.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
error_r=$(QUENVAR_PROFILE="$WORK/error.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
# The same two with the temporary folder (where the name check's test files go) on tmpfs.
SHM=/dev/shm
[ -d "$SHM" ] && [ -w "$SHM" ] || SHM=$WORK
CACHE=$(mktemp -d "$SHM/qvr-bench-cache.XXXXXX")
trap 'rm -rf "$WORK" "$CACHE"' EXIT
info_shm=$(XDG_CACHE_HOME=$CACHE QUENVAR_PROFILE="$WORK/info.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
error_shm=$(XDG_CACHE_HOME=$CACHE QUENVAR_PROFILE="$WORK/error.ini" measure "$QVR" --log "$WORK/qvr.log" scan "$IMG")
entries=$("$QVR" --log "$WORK/count.log" scan "$IMG" --json | python3 -c "import json,sys; d=json.load(sys.stdin); print(len(d['entries'] if isinstance(d, dict) else d))")
deleted=$(fls -r -d -p "$IMG" | grep -vc OrphanFiles || true)

# The name check's cost: create (new only), close, reopen, close, delete, per entry,
# in the temporary folder qvr uses by default.
TEMPDIR_QVR=${XDG_CACHE_HOME:-$HOME/.cache}/quenvar
mkdir -p "$TEMPDIR_QVR"
namecheck=$(python3 - "$TEMPDIR_QVR" "$entries" <<'PY'
import os, shutil, sys, time
folder, n = os.path.join(sys.argv[1], "name-check-probe"), int(sys.argv[2])
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
start = time.perf_counter()
for i in range(n):
    p = os.path.join(folder, f"probe name {i}.txt")
    fd = os.open(p, os.O_RDWR | os.O_CREAT | os.O_EXCL, 0o644); os.close(fd)
    fd = os.open(p, os.O_RDWR); os.close(fd)
    os.unlink(p)
print(f"{time.perf_counter() - start:.3f}")
os.rmdir(folder)
PY
)

python3 - "$fls_r" "$info_r" "$error_r" "$info_shm" "$error_shm" "$entries" "$deleted" "$namecheck" "$IMG" "$SHM" <<'PY'
import sys
fls, info, error, info_shm, error_shm = (s.split() for s in sys.argv[1:6])
entries, deleted, namecheck, img, shm = int(sys.argv[6]), int(sys.argv[7]), float(sys.argv[8]), sys.argv[9], sys.argv[10]
print(f"image: {img}: {entries} entries scanned by qvr, {deleted} deleted entries listed by fls")
print(f"{'run':40} {'wall s':>8} {'cpu s':>7} {'peak MiB':>9} {'lines out':>10} {'entries/s':>11} {'vs fls':>7}")
base = float(fls[0])
runs = (("fls -r -d -p", fls), ("qvr scan (LogLevel info, default)", info),
        ("qvr scan (LogLevel error)", error), (f"  same, info, temp folder in {shm}", info_shm),
        (f"  same, error, temp folder in {shm}", error_shm))
for name, (sec, kib, cpu, lines) in runs:
    s = max(float(sec), 0.005)
    print(f"{name:40} {float(sec):8.2f} {float(cpu):7.2f} {int(kib)/1024:9.1f} {int(lines):10d} {entries/s:11.0f} {base/s:6.1f}x")
print(f"name check (create, reopen, delete a test file) for {entries} entries: {namecheck:.2f} s "
      f"({namecheck/entries*1e6:.1f} us per entry)")
PY

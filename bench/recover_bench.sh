#!/bin/bash
# Recovery benchmark: `qvr recover IMAGE / --to DIR` (every deleted file of the volume,
# at LogLevel info and at error) beside The Sleuth Kit's `tsk_recover IMAGE DIR` (its
# default: the deleted files) and beside `cat` of the bytes qvr wrote, read back from the
# page cache into one file: the floor for copying that much data on this machine. Each
# run writes into a fresh folder, removed outside the timing; medians of REPEAT runs
# after a warm-up. Prints files, bytes, seconds and the ratios against the targets
# (10 times faster than tsk_recover, within 1.5 times of cat).
#   bench/recover_bench.sh BIN_DIR IMAGE
set -euo pipefail
BIN=${1:?folder holding qvr}
IMG=${2:?volume image}
REPEAT=${REPEAT:-5}
QVR="$BIN/qvr"
WORK=$(mktemp -d -p "${BENCH_TMP:-$(dirname "$IMG")}")
trap 'rm -rf "$WORK"' EXIT
for tool in tsk_recover /usr/bin/time python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
printf 'LogLevel=error\n' >"$WORK/error.ini"
printf 'LogLevel=info\n' >"$WORK/info.ini"
cat "$IMG" >/dev/null

# run NAME CMD... : the command once as a warm-up, then REPEAT times; the word OUT in
# CMD is a fresh empty folder each time. Prints the median wall seconds.
run() {
    local name=$1 times=()
    shift
    for i in $(seq 0 "$REPEAT"); do
        rm -rf "$WORK/out"
        mkdir "$WORK/out"
        local cmd=()
        for word in "$@"; do cmd+=("${word//OUT/$WORK/out}"); done
        /usr/bin/time -f "%e" -o "$WORK/time" "${cmd[@]}" >"$WORK/$name.stdout" 2>"$WORK/$name.stderr" ||
            { echo "$name failed: $(tail -3 "$WORK/$name.stderr")" >&2; exit 1; }
        [ "$i" = 0 ] || times+=("$(cat "$WORK/time")")
        [ "$i" != 0 ] || [ "$name" != qvr-info ] || { rm -rf "$WORK/kept"; cp -a "$WORK/out" "$WORK/kept"; }
    done
    printf '%s\n' "${times[@]}" | sort -g | sed -n "$(( (REPEAT + 1) / 2 ))p"
}

qvr_info=$(QUENVAR_PROFILE="$WORK/info.ini" run qvr-info "$QVR" --log "$WORK/qvr.log" recover "$IMG" / --to OUT --overwrite skip)
qvr_error=$(QUENVAR_PROFILE="$WORK/error.ini" run qvr-error "$QVR" --log "$WORK/qvr.log" recover "$IMG" / --to OUT --overwrite skip)
tsk=$(run tsk tsk_recover "$IMG" OUT)
files=$(find "$WORK/kept" -type f | wc -l)
bytes=$(find "$WORK/kept" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
tsk_files=$(sed -n 's/^Files Recovered: *\([0-9]*\).*/\1/p' "$WORK/tsk.stdout")
find "$WORK/kept" -type f -print0 >"$WORK/list"
cat_s=$(run cat sh -c "xargs -0 cat <'$WORK/list' >OUT/all")

python3 - "$IMG" "$files" "$bytes" "${tsk_files:-?}" "$qvr_info" "$qvr_error" "$tsk" "$cat_s" <<'PY'
import sys
img, files, nbytes, tsk_files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
info, error, tsk, cat = (float(x) for x in sys.argv[5:9])
print(f"image: {img}: qvr recovered {files} files, {nbytes / 1e6:.0f} MB; tsk_recover {tsk_files} files")
print(f"{'run':40} {'wall s':>8} {'MB/s':>8}")
for name, s in (("qvr recover / (LogLevel info, default)", info), ("qvr recover / (LogLevel error)", error),
                ("tsk_recover", tsk), ("cat of the same bytes (page cache)", cat)):
    print(f"{name:40} {s:8.2f} {nbytes / 1e6 / max(s, 0.005):8.0f}")
print(f"tsk_recover / qvr (info): {tsk / max(info, 0.005):.1f}x (target 10x)   "
      f"qvr (info) / cat: {info / max(cat, 0.005):.2f}x (target at most 1.5x)")
PY

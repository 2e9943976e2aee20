#!/bin/bash
# Damage words of a deleted FAT file as mtools hands its clusters out again (first free
# cluster first): untouched it reads "Good", with a quarter of its clusters reused
# "Average" (0.25), with all of them reused "Poor".
source "$(dirname "$0")/common.bash" "$@"
head -c 65536 /dev/urandom > "$work/a.bin"
head -c 16384 /dev/urandom > "$work/s.bin"
img="$work/v.img"
truncate -s 16M "$img"
mkfs.fat -F 16 -s 4 "$img" >/dev/null   # 2 KiB clusters: a.bin holds 32
# In a folder of its own, so that the later files take no directory slot of it.
mmd -i "$img" ::/d
mcopy -i "$img" "$work/a.bin" ::/d/a.bin
mcopy -i "$img" "$work/s.bin" ::/d/keep.bin
mdel -i "$img" ::/d/a.bin

check() {  # expected share, expected word, step
    "$qvr" --log "$log" scan --json "$img" > "$work/scan.json"
    python3 - "$work/scan.json" "$1" "$3" <<'PY' || fail "$3: damage share"
import json, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
gone = entries["/d/_.bin"]
assert gone["deleted"], gone
assert abs(gone["damage"] - float(sys.argv[2])) < 1e-6, f"{sys.argv[3]}: {gone['damage']}"
assert all(e["damage"] == 0 for p, e in entries.items() if p != "/d/_.bin"), entries
PY
    "$qvr" --log "$log" scan "$img" | grep -q "^  _\.bin  deleted  65536  .*  $2\$" \
        || fail "$3: word: $("$qvr" --log "$log" scan "$img")"
}
check 0 Good untouched
mcopy -i "$img" "$work/s.bin" ::/s.bin
check 0.25 Average "a quarter reused"
mcopy -i "$img" "$work/a.bin" ::/c.bin
check 1 Poor "all reused"
echo "deleted FAT file reads Good, Average and Poor as its clusters are reused"

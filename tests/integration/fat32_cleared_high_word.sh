#!/bin/bash
# Deleted FAT32 files whose entries lost the high 16 bits of their first cluster, as some
# systems clear them on deletion, on a volume of more than 65,536 clusters made with
# mtools, where the files sit above cluster 65,536: each is recovered equal to its source
# where its type tells the right start from the other clusters of the same low word, and
# no file recovered with other bytes is called "Good".
source "$(dirname "$0")/common.bash" "$@"
for tool in mkfs.fat mcopy mdel python3; do
    command -v "$tool" >/dev/null || fail "missing $tool"
done
img="$work/f.img"
src="$work/src"
mkdir -p "$src"
truncate -s 160M "$img"
mkfs.fat -F 32 -s 1 "$img" >/dev/null

# Text below cluster 65,536, deleted later: the low-word clusters of the files above it
# are free and hold something else.
head -c 24M < <(yes "a line of text that was deleted long ago") >"$work/low.txt"
mcopy -i "$img" "$work/low.txt" ::/LOW.TXT
head -c 12M /dev/urandom >"$work/filler.bin"
mcopy -i "$img" "$work/filler.bin" ::/FILLER.BIN
typed=()
for i in $(seq 1 8); do
    { printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00'; head -c $((3000 + i * 4111)) /dev/urandom; } >"$src/Photo number $i.jpg"
    { printf '%%PDF-1.4\n'; head -c $((900 + i * 2500)) /dev/urandom; } >"$src/Paper $i.pdf"
    { printf '\x89PNG\r\n\x1a\n'; head -c $((500 + i * 1700)) /dev/urandom; } >"$src/Picture $i.png"
    typed+=("Photo number $i.jpg" "Paper $i.pdf" "Picture $i.png")
    head -c $((700 + i * 1300)) /dev/urandom >"$src/Untyped $i.bin"
    head -c $((400 + i * 900)) < <(yes "notes, line $i") >"$src/Notes $i.txt"
done
(cd "$src" && mcopy -i "$img" ./* ::/)
for f in "$src"/*; do mdel -i "$img" "::/$(basename "$f")"; done
mdel -i "$img" ::/LOW.TXT

# Clear the high word of every deleted entry in the root folder's clusters.
python3 - "$img" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    boot = f.read(512)
    bps, spc, reserved, nfats = struct.unpack_from("<HBHB", boot, 11)
    fat_sectors, = struct.unpack_from("<I", boot, 36)
    root, = struct.unpack_from("<I", boot, 44)
    size = bps * spc
    data = (reserved + nfats * fat_sectors) * bps
    f.seek(reserved * bps)
    fat = f.read(fat_sectors * bps)
    high = 0
    cluster = root
    for _ in range(10000):
        f.seek(data + (cluster - 2) * size)
        block = bytearray(f.read(size))
        for at in range(0, size, 32):
            if block[at] == 0xE5 and block[at + 11] != 0x0F:
                high += struct.unpack_from("<H", block, at + 20)[0] != 0
                block[at + 20:at + 22] = b"\0\0"
        f.seek(data + (cluster - 2) * size)
        f.write(block)
        cluster = struct.unpack_from("<I", fat, cluster * 4)[0] & 0x0FFFFFFF
        if cluster >= 0x0FFFFFF8 or cluster < 2:
            break
    assert high >= 30, f"only {high} deleted entries had a high word"
PY

"$qvr" --log "$log" scan "$img" --json >"$work/scan.json" || fail "scan exited $?"
grep -q "lost its high word" "$log" || fail "no first cluster was chosen"
mkdir "$work/out"
"$qvr" --log "$log" recover "$img" / --to "$work/out" --overwrite skip >/dev/null || fail "recover exited $?"
python3 - "$work/scan.json" "$src" "$work/out" "${typed[@]}" <<'PY' || fail "wrong results"
import json, os, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
src, out, typed = sys.argv[2], sys.argv[3], set(sys.argv[4:])
problems, equal, other = [], 0, 0
for name in sorted(os.listdir(src)):
    e = entries.get("/" + name)
    if e is None:
        problems.append(f"not listed: {name}")
        continue
    same = open(os.path.join(src, name), "rb").read() == open(os.path.join(out, name), "rb").read()
    equal += same
    if not same:
        other += 1
        if e["damage"] == 0.0:
            problems.append(f"other bytes called Good: {name}")
    if name in typed and not same:
        problems.append(f"typed file recovered with other bytes: {name}")
    if name in typed and e["damage"] != 0.0:
        problems.append(f"typed file with one candidate not Good: {name} ({e['damage']})")
for p in problems:
    print(p)
print(f"{equal} files recovered equal to their source, {other} with other bytes (none called Good)")
sys.exit(1 if problems or equal < len(typed) else 0)
PY

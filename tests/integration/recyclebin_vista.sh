#!/usr/bin/env bash
# Recycle Bins of Windows Vista and later on real FAT32 and NTFS volumes: each $R item in
# $Recycle.Bin/<SID>/ is listed by qvr ls under its path before deletion from its $I twin
# (version 1 and 2, a long non-ASCII path, a binned folder, a deleted item whose deleted
# $I is still readable), and qvr recover writes it under its old name. A missing or
# truncated $I leaves the item under its own name.
source "$(dirname "$0")/common.bash" "$@"
sid='S-1-5-21-1-2-3-1001'
src="$work/src"
mkdir -p "$src/\$RCCCCCC/sub"
long_dir=$(python3 - "$src" <<'PY'
import struct, sys
def v1(size, path):
    w = path.encode("utf-16-le") + b"\0\0"
    return struct.pack("<QQQ", 1, size, 0x01D9000000000000) + w.ljust(520, b"\0")
def v2(size, path):
    w = path.encode("utf-16-le") + b"\0\0"
    return struct.pack("<QQQI", 2, size, 0x01D9000000000000, len(w) // 2) + w
long_dir = "C:\\Users\\Zoë\\" + "\\".join("Ünterordner %02d" % i for i in range(20)) + "\\"
records = {
    "$IAAAAAA.txt": v1(12, "C:\\Users\\a\\Documents\\report.txt"),
    "$IBBBBBB.jpg": v2(9, long_dir + "Fotografía ü 東京.jpg"),
    "$ICCCCCC": v2(0, "C:\\Users\\a\\Project"),
    "$IEEEEEE.txt": v2(5, "C:\\Users\\a\\cut.txt")[:40],   # cut inside its path
    "$IFFFFFF.txt": v1(8, "D:\\old\\gone.txt"),
}
for name, data in records.items():
    open(f"{sys.argv[1]}/{name}", "wb").write(data)
print(long_dir)
PY
)
printf 'binned text\n' > "$src/\$RAAAAAA.txt"
head -c 3000 /dev/urandom > "$src/\$RBBBBBB.jpg"
printf 'a\n' > "$src/\$RCCCCCC/a.txt"
printf 'b\n' > "$src/\$RCCCCCC/sub/b.txt"
printf 'no record\n' > "$src/\$RDDDDDD.txt"
printf 'cut record\n' > "$src/\$REEEEEE.txt"
# Text, as their names say: on a FAT32 volume of more than 65,536 clusters a deleted file's
# first bytes are checked against its type, and bytes that contradict it would make it Poor.
head -c 5000 /dev/urandom | base64 -w 0 | head -c 5000 > "$src/\$RFFFFFF.txt"
head -c 3000 /dev/urandom | base64 -w 0 | head -c 3000 > "$src/\$RGGGGGG.txt"
# Deleted after binning: F with its record, G without one.
deleted=("\$RFFFFFF.txt" "\$IFFFFFF.txt" "\$RGGGGGG.txt")

check() {  # label, image, bin folder, how a deleted item's name begins
  local bin="$3" gone="$4"
  "$qvr" --log "$log" ls "$2" "$bin" --json > "$work/ls.json" || fail "$1: ls exited $?"
  python3 - "$work/ls.json" "$1" "$long_dir" "$gone" <<'PY' || exit 1
import json, sys
rows = [r for r in json.load(open(sys.argv[1]))["rows"] if not r["up"]]
label, long_dir, gone = sys.argv[2], sys.argv[3], sys.argv[4]
by_name = {r["name"]: r for r in rows}
want = {
    "report.txt": ("C:\\Users\\a\\Documents\\", "RecBin"),
    "Fotografía ü 東京.jpg": (long_dir, "RecBin"),
    "Project": ("C:\\Users\\a\\", "RecBin"),
    "gone.txt": ("D:\\old\\", "Good"),
}
for name, (folder, status) in want.items():
    r = by_name.get(name)
    if not r or r["folder"] != folder or r["status"] != status:
        sys.exit(f"FAIL: {label}: row {name}: {r}\n{rows}")
if gone + "GGGGGG.txt" not in by_name or by_name[gone + "GGGGGG.txt"]["status"] != "Good":
    sys.exit(f"FAIL: {label}: the deleted item without a record is not under its own name: {rows}")
for name in ("$RAAAAAA.txt", "$RCCCCCC", "$RDDDDDD.txt", "$REEEEEE.txt", "cut.txt", gone + "FFFFFF.txt"):
    if name in by_name:
        sys.exit(f"FAIL: {label}: {name} is listed: {rows}")
PY
  local out="$work/out-$1"
  mkdir "$out"
  "$qvr" --log "$log" recover "$2" "$bin/\$RAAAAAA.txt" "$bin/\$RBBBBBB.jpg" "$bin/\$RCCCCCC" \
      "$bin/${gone}FFFFFF.txt" --to "$out" > "$work/rec.txt" 2>&1 || fail "$1: recover exited $?: $(cat "$work/rec.txt")"
  cmp "$out/report.txt" "$src/\$RAAAAAA.txt" || fail "$1: report.txt: $(ls -R "$out")"
  cmp "$out/Fotografía ü 東京.jpg" "$src/\$RBBBBBB.jpg" || fail "$1: the long-path picture"
  cmp "$out/Project/a.txt" "$src/\$RCCCCCC/a.txt" || fail "$1: Project/a.txt"
  cmp "$out/Project/sub/b.txt" "$src/\$RCCCCCC/sub/b.txt" || fail "$1: Project/sub/b.txt"
  cmp "$out/gone.txt" "$src/\$RFFFFFF.txt" || fail "$1: gone.txt"
}

# FAT32: Windows writes the bin folder's name upper-case there.
fat="$work/f.img"
truncate -s 40M "$fat"
mkfs.fat -F 32 "$fat" >/dev/null
mmd -i "$fat" "::/\$RECYCLE.BIN" "::/\$RECYCLE.BIN/$sid"
mcopy -s -i "$fat" "$src"/* "::/\$RECYCLE.BIN/$sid/"
for f in "${deleted[@]}"; do mdel -i "$fat" "::/\$RECYCLE.BIN/$sid/$f"; done
# mtools gives these names no long-name entries: a deleted one loses its "$" to the mark.
check fat "$fat" "/\$RECYCLE.BIN/$sid" _R

# NTFS, written through ntfs-3g.
ntfs="$work/n.img"
truncate -s 16M "$ntfs"
mkntfs -q -F -f "$ntfs" 2>/dev/null
mkdir "$mnt"
ntfs-3g "$ntfs" "$mnt"
mkdir -p "$mnt/\$Recycle.Bin/$sid"
cp -r "$src"/. "$mnt/\$Recycle.Bin/$sid/"
for f in "${deleted[@]}"; do rm "$mnt/\$Recycle.Bin/$sid/$f"; done
umount "$mnt"
check ntfs "$ntfs" "/\$Recycle.Bin/$sid" '$R'
echo "later Recycle Bins listed and recovered under their old names on FAT and NTFS"

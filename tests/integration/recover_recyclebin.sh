#!/usr/bin/env bash
# Recycle Bin files on real FAT and NTFS volumes: DC12.txt in a bin folder is listed by
# qvr ls under its path before deletion (from the folder's INFO2) with "RecBin", and
# qvr recover writes it under that name. NTFS is read both mounted (INFO2 through the
# mount point) and unmounted (INFO2 through the parser). In a second bin folder, whose
# INFO2 also holds a record 0, qvr recover follows the desktop program's rule of which
# files an index names: desktop.ini and names of two characters are never looked up
# (they would name record 0), while a binned folder DC13 is written under its old name.
source "$(dirname "$0")/common.bash" "$@"

# INFO2: a 20-byte header, then 800-byte records: number at 260, UTF-16 path at 280.
python3 - "$work/INFO2" <<'PY'
import struct, sys
def record(number, path):
    r = bytearray(800)
    r[0:len(path)] = path.encode("latin-1")
    struct.pack_into("<I", r, 260, number)
    wide = path.encode("utf-16-le")
    r[280:280 + len(wide)] = wide
    return bytes(r)
data = bytes(20) + record(11, "C:\\Old\\x.txt") + record(12, "C:\\Docs\\report.txt") + record(13, "C:\\y.txt")
open(sys.argv[1], "wb").write(data)
data = bytes(20) + record(0, "C:\\Zero\\zero.txt") + record(13, "C:\\Old\\kept")
open(sys.argv[1] + "-y", "wb").write(data)
PY
mkdir "$work/y" "$work/y/DC13"
cp "$work/INFO2-y" "$work/y/INFO2"
printf 'short name\n' > "$work/y/Dc"
printf '[.ShellClassInfo]\n' > "$work/y/desktop.ini"
printf 'inside a binned folder\n' > "$work/y/DC13/inner.txt"
printf 'binned data\n' > "$work/DC12.txt"
printf '[.ShellClassInfo]\n' > "$work/desktop.ini"

check_listing() {  # label, image
  "$qvr" --log "$log" ls "$2" /RECYCLER/S-1-5-21-x --json > "$work/ls.json" || fail "$1: ls exited $?"
  python3 - "$work/ls.json" "$1" <<'PY' || exit 1
import json, sys
doc = json.load(open(sys.argv[1]))
rows = [r for r in doc["rows"] if not r["up"]]
bin_rows = [r for r in rows if r["status"] == "RecBin"]
if len(bin_rows) != 1 or bin_rows[0]["name"] != "report.txt" or bin_rows[0]["folder"] != "C:\\Docs\\":
    sys.exit("FAIL: %s: Recycle Bin rows %s" % (sys.argv[2], rows))
if any(r["name"].lower() in ("desktop.ini", "info2", "dc12.txt") for r in rows):
    sys.exit("FAIL: %s: bin files listed under their own names: %s" % (sys.argv[2], rows))
PY
  local out="$work/out-$1"
  mkdir "$out"
  "$qvr" --log "$log" recover "$2" /RECYCLER/S-1-5-21-x/DC12.txt --to "$out" > "$work/rec.txt" \
    || fail "$1: recover exited $?: $(cat "$work/rec.txt")"
  cmp -s "$out/report.txt" "$work/DC12.txt" || fail "$1: report.txt was not written: $(ls "$out")"

  local bin=/RECYCLER/S-1-5-21-y
  mkdir "$out/y"
  "$qvr" --log "$log" recover "$2" $bin/desktop.ini $bin/Dc $bin/DC13 --to "$out/y" > "$work/rec.txt" 2>&1 \
    || fail "$1: recover of the second bin exited $?: $(cat "$work/rec.txt")"
  [ ! -e "$out/y/zero.txt" ] || fail "$1: desktop.ini or Dc was looked up as record 0"
  cmp -s "$out/y/kept/inner.txt" "$work/y/DC13/inner.txt" \
    || fail "$1: the binned folder was not written under its old name: $(ls -R "$out/y")"
}

# FAT32, read through the parser (this kernel cannot mount FAT).
fat="$work/f.img"
truncate -s 40M "$fat"
mkfs.fat -F 32 "$fat" >/dev/null
mmd -i "$fat" ::/RECYCLER ::/RECYCLER/S-1-5-21-x
mcopy -i "$fat" "$work/INFO2" ::/RECYCLER/S-1-5-21-x/INFO2
mcopy -i "$fat" "$work/DC12.txt" ::/RECYCLER/S-1-5-21-x/DC12.txt
mcopy -i "$fat" "$work/desktop.ini" ::/RECYCLER/S-1-5-21-x/desktop.ini
mcopy -s -i "$fat" "$work/y" ::/RECYCLER/S-1-5-21-y
check_listing fat "$fat"

# NTFS, mounted and then unmounted.
ntfs="$work/n.img"
truncate -s 16M "$ntfs"
mkntfs -q -F -f "$ntfs" 2>/dev/null
mkdir "$mnt"
ntfs-3g "$ntfs" "$mnt"
mkdir -p "$mnt/RECYCLER/S-1-5-21-x"
cp "$work/INFO2" "$work/DC12.txt" "$work/desktop.ini" "$mnt/RECYCLER/S-1-5-21-x/"
cp -r "$work/y" "$mnt/RECYCLER/S-1-5-21-y"
umount "$mnt"
check_listing ntfs-unmounted "$ntfs"
ntfs-3g -o ro "$ntfs" "$mnt"
: > "$log"
check_listing ntfs-mounted "$ntfs"
grep -q "LLFile: File to open: \[$mnt/RECYCLER/S-1-5-21-x/INFO2\]" "$log" \
  || fail "the mounted volume's INFO2 was not read through its mount point"
umount "$mnt"
echo "Recycle Bin names found on FAT and NTFS"

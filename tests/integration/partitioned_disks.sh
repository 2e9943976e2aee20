#!/usr/bin/env bash
# Partitioned disks: MBR disks (three logical partitions in an extended chain), a GPT
# with its primary header damaged and a table pointing past the end, made with sfdisk
# and sgdisk around FAT, NTFS and exFAT volumes built on their own first. Checks the
# partitions qvr finds against mmls, and that IMAGE@N scans and recovers exactly as
# the bare volume does, also inside a VHDX and a segmented E01. Needs root and
# /dev/fuse (ntfs-3g) to delete files on NTFS.
source "$(dirname "$0")/common.bash" "$@"
for tool in sfdisk sgdisk mmls mkfs.fat mcopy mkntfs ntfs-3g mkfs.exfat qemu-img ewfacquire python3; do
  command -v "$tool" >/dev/null || fail "missing $tool"
done

head -c 20000 /dev/urandom > "$work/a.bin"
head -c 70000 /dev/urandom > "$work/b.bin"
echo "note" > "$work/n.txt"

# The volumes, each with live and deleted files.
truncate -s 4M "$work/fat.img"
mkfs.fat -n PARTFAT "$work/fat.img" >/dev/null
mmd -i "$work/fat.img" ::/docs
mcopy -i "$work/fat.img" "$work/a.bin" "::/docs/first deleted.bin"
mcopy -i "$work/fat.img" "$work/b.bin" ::/B.BIN
mcopy -i "$work/fat.img" "$work/n.txt" ::/keep.txt
mdel -i "$work/fat.img" "::/docs/first deleted.bin" ::/B.BIN

new_ntfs 4M -L PARTNTFS
mkdir "$mnt/d"
cp "$work/a.bin" "$mnt/d/gone.bin"
cp "$work/b.bin" "$mnt/also gone.bin"
cp "$work/n.txt" "$mnt/kept.txt"
sync
rm "$mnt/d/gone.bin" "$mnt/also gone.bin"
umount "$mnt"
mv "$img" "$work/ntfs.img"

truncate -s 4M "$work/exfat.img"
mkfs.exfat -L PARTEX "$work/exfat.img" >/dev/null

put() {  # volume disk start-sector
  dd if="$1" of="$2" bs=512 seek="$3" conv=notrunc status=none
}

# MBR: FAT and NTFS primaries, an extended partition holding exFAT, FAT again and an
# empty Linux partition.
mbr="$work/mbr.img"
truncate -s 24M "$mbr"
sfdisk -q "$mbr" <<'T'
label: dos
start=2048, size=8192, type=c
start=10240, size=8192, type=7
start=18432, size=30720, type=5
start=20480, size=8192, type=7
start=30720, size=8192, type=6
start=40960, size=2048, type=83
T
put "$work/fat.img" "$mbr" 2048
put "$work/ntfs.img" "$mbr" 10240
put "$work/exfat.img" "$mbr" 20480
put "$work/fat.img" "$mbr" 30720

# GPT with exact starts: FAT, then a partition without a file system.
gpt="$work/gpt.img"
truncate -s 12M "$gpt"
sgdisk -a 1 -n 1:40:8231 -t 1:0700 -c 1:data -n 2:9000:12000 -t 2:8300 "$gpt" >/dev/null
put "$work/fat.img" "$gpt" 40

same_partitions() {  # disk
  local ours theirs
  ours=$(qvr_partitions "$1") theirs=$(mmls_partitions "$1")
  [ -n "$ours" ] || fail "$1: qvr found no partitions"
  [ "$ours" = "$theirs" ] || fail "$1: qvr lists partitions
$ours
but mmls
$theirs"
}

# IMAGE@N against the bare volume: the same tree (live and deleted) and the same bytes.
runs=0
same_as_volume() {  # disk@N volume
  local tag
  runs=$((runs + 1))
  tag=run$runs
  "$qvr" --log "$log" scan "$1" --json > "$work/$tag.part.json" || fail "scan $1 exited $?"
  "$qvr" --log "$log" scan "$2" --json > "$work/$tag.bare.json" || fail "scan $2 exited $?"
  python3 - "$work/$tag.part.json" "$work/$tag.bare.json" <<'PY' || fail "$1: tree differs from the bare volume's"
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:])
assert a["filesystem"] == b["filesystem"], (a["filesystem"], b["filesystem"])
assert a["entries"] == b["entries"], "entries differ"
assert any(e["deleted"] for e in a["entries"]) or a["filesystem"] == "exFAT", "nothing deleted found"
PY
  mkdir "$work/$tag.part" "$work/$tag.bare"
  "$qvr" --log "$log" recover "$1" / --to "$work/$tag.part" --overwrite skip >/dev/null || fail "recover $1 exited $?"
  "$qvr" --log "$log" recover "$2" / --to "$work/$tag.bare" --overwrite skip >/dev/null || fail "recover $2 exited $?"
  diff -r "$work/$tag.part" "$work/$tag.bare" >/dev/null || fail "$1: recovered files differ from the bare volume's"
}

same_partitions "$mbr"
[ "$(qvr_partitions "$mbr" | wc -l)" -eq 5 ] || fail "mbr: expected 2 primary and 3 logical partitions"
same_as_volume "$mbr@1" "$work/fat.img"
same_as_volume "$mbr@2" "$work/ntfs.img"
same_as_volume "$mbr@3" "$work/exfat.img"
same_as_volume "$mbr@4" "$work/fat.img"
cmp -s <(find "$work/run1.part" -type f -exec md5sum {} + | awk '{print $1}' | sort) \
  <(md5sum "$work/a.bin" "$work/b.bin" | awk '{print $1}' | sort) || fail "mbr@1: recovered bytes are not the deleted files"

# The same disk in containers: a VHDX by qemu-img and an E01 by ewfacquire, in segments.
qemu-img convert -f raw -O vhdx "$mbr" "$work/mbr.vhdx"
ewfacquire -u -q -t "$work/mbr-seg" -f encase6 -c none -S 8MiB "$mbr" > /dev/null
[ -e "$work/mbr-seg.E02" ] || fail "ewfacquire made no segments"
for container in "$work/mbr.vhdx" "$work/mbr-seg.E01"; do
  [ "$(qvr_partitions "$container")" = "$(mmls_partitions "$mbr")" ] || fail "$container: partitions differ"
done
same_as_volume "$work/mbr.vhdx@2" "$work/ntfs.img"
same_as_volume "$work/mbr-seg.E01@4" "$work/fat.img"

# The MFT dump of an NTFS partition is that of the bare volume.
mkdir "$work/dump.part" "$work/dump.bare"
"$qvr" --log "$log" mftdump "$mbr@2" --to "$work/dump.part" >/dev/null || fail "mftdump $mbr@2 exited $?"
"$qvr" --log "$log" mftdump "$work/ntfs.img" --to "$work/dump.bare" >/dev/null || fail "mftdump of the volume exited $?"
diff -r "$work/dump.part" "$work/dump.bare" >/dev/null || fail "mftdump of $mbr@2 differs from the bare volume's"

# Several scannable partitions: the disk alone names none of them.
if "$qvr" --log "$log" scan "$mbr" > /dev/null 2> "$work/several.err"; then fail "scan of a disk with 4 volumes succeeded"; fi
grep -q "4 partitions can be scanned; name one as $mbr@N" "$work/several.err" || fail "no list: $(cat "$work/several.err")"
grep -q "$mbr@3 .*start 20480 .*size 4194304 .*0x07 NTFS/exFAT .*exFAT" "$work/several.err" \
  || fail "list lacks partition 3: $(cat "$work/several.err")"
if "$qvr" --log "$log" scan "$mbr@9" > /dev/null 2> "$work/nine.err"; then fail "a missing partition was scanned"; fi
grep -q "no partition 9" "$work/nine.err" || fail "$(cat "$work/nine.err")"

# GPT: one scannable partition, so the disk stands for it.
same_partitions "$gpt"
same_as_volume "$gpt@1" "$work/fat.img"
"$qvr" --log "$log" scan "$gpt" --deleted-only > "$work/gpt-whole.txt" || fail "scan of a one-volume GPT disk failed"
grep -q "_\.BIN" "$work/gpt-whole.txt" || fail "the GPT disk did not stand for its FAT partition"

# The primary GPT header damaged: the backup gives the same partitions.
expected=$(mmls_partitions "$gpt")
printf 'XXXXXXXX' | dd of="$gpt" bs=1 seek=$((512 + 24)) conv=notrunc status=none
[ "$(qvr_partitions "$gpt")" = "$expected" ] || fail "backup GPT header not used"
grep -q "primary header at sector 1 is damaged (header checksum mismatch); the backup at sector 24575 was used" "$log" \
  || fail "no log line for the backup header"
same_as_volume "$gpt@1" "$work/fat.img"

# A table pointing past the end is refused; the disk is still offered whole.
past="$work/past.img"
truncate -s 12M "$past"
printf 'label: dos\nstart=2048, size=8192, type=c\nstart=12288, size=8192, type=7\n' | sfdisk -q "$past"
put "$work/fat.img" "$past" 2048
truncate -s 8M "$past"
[ -z "$(qvr_partitions "$past")" ] || fail "a table past the end was accepted"
QUENVAR_DRIVES="P=$past" "$qvr" --log "$log" drives | grep -q "^P: .*$past\$" || fail "the disk is no longer offered whole"
if "$qvr" --log "$log" scan "$past" > /dev/null 2> "$work/past.err"; then fail "scan of a refused table succeeded"; fi
grep -q "partition table refused: MBR: partition 2 (sectors 12288-20479) lies outside the disk (sectors 1-16383 usable)" \
  "$work/past.err" || fail "no reason given: $(cat "$work/past.err")"

# A file whose name ends in @N is that file.
cp "$work/fat.img" "$work/vol@1"
"$qvr" --log "$log" scan "$work/vol@1" --deleted-only | grep -q "_\.BIN" || fail "an existing file named @1 was not scanned"
echo "partitioned disks: ok"

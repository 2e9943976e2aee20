#!/usr/bin/env bash
# Makes the bundled sample volumes: a small NTFS, a FAT12 and an exFAT image, each with
# live and deleted files and a deleted folder. Needs root (FUSE mounts, a loop device),
# ntfs-3g, dosfstools, mtools, exfatprogs and exfat-fuse.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
loop=""
trap 'mountpoint -q "$work/m" && umount "$work/m"; [ -n "$loop" ] && losetup -d "$loop"; rm -rf "$work"' EXIT

# NTFS: resident and non-resident files, a compressed file, a folder deleted last.
truncate -s 4M "$work/ntfs.img"
mkntfs -q -F -f -L SAMPLE "$work/ntfs.img"
mkdir "$work/m"
ntfs-3g -o compression "$work/ntfs.img" "$work/m"
mkdir -p "$work/m/Documents/Letters" "$work/m/Photos"
echo "Dear reader, this letter was deleted by mistake." > "$work/m/Documents/Letters/letter.txt"
seq 1 20000 > "$work/m/Documents/numbers.txt"
head -c 150000 /dev/urandom > "$work/m/Photos/holiday.jpg"
echo "kept" > "$work/m/Documents/readme.txt"
sync
rm "$work/m/Documents/Letters/letter.txt" "$work/m/Documents/numbers.txt"
rm -r "$work/m/Photos"
umount "$work/m"
cp "$work/ntfs.img" "$here/ntfs-sample.img"

# FAT12: long and short names, a deleted file and a deleted folder.
mkfs.fat -C -n SAMPLE "$work/fat.img" 720 >/dev/null
export MTOOLS_SKIP_CHECK=1
mmd -i "$work/fat.img" ::/Reports ::/Reports/Old
seq 1 3000 > "$work/numbers.txt"
echo "quarterly figures" > "$work/q.txt"
mcopy -i "$work/fat.img" "$work/numbers.txt" "::/Reports/All the numbers.txt"
mcopy -i "$work/fat.img" "$work/q.txt" "::/Reports/Old/Q1 report.txt"
mcopy -i "$work/fat.img" "$work/q.txt" ::/KEEP.TXT
mdel -i "$work/fat.img" "::/Reports/All the numbers.txt"
mdeltree -i "$work/fat.img" ::/Reports/Old
cp "$work/fat.img" "$here/fat-sample.img"
# exFAT: a camera card; some photos deleted, then a whole folder of them. exfat-fuse
# mounts block devices only, so the image goes through a loop device.
truncate -s 4M "$work/exfat.img"
mkfs.exfat -L CARD "$work/exfat.img" >/dev/null
loop=$(losetup -f --show "$work/exfat.img")
mount.exfat-fuse "$loop" "$work/m"
mkdir -p "$work/m/DCIM/100CAMERA" "$work/m/DCIM/101TRIP"
for i in 1 2 3 4 5 6; do head -c $((40000 + i * 7000)) /dev/urandom > "$work/m/DCIM/100CAMERA/IMG_000$i.JPG"; done
for i in 1 2 3; do head -c $((60000 + i * 5000)) /dev/urandom > "$work/m/DCIM/101TRIP/Beach day $i.jpg"; done
echo "camera settings" > "$work/m/SETTINGS.TXT"
sync
rm "$work/m/DCIM/100CAMERA/IMG_0002.JPG" "$work/m/DCIM/100CAMERA/IMG_0005.JPG"
rm -r "$work/m/DCIM/101TRIP"
umount "$work/m"
losetup -d "$loop"
loop=""
cp "$work/exfat.img" "$here/exfat-sample.img"
echo "samples written to $here"

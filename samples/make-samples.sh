#!/usr/bin/env bash
# Makes the bundled sample volumes: a small NTFS and a FAT12 image, each with live and
# deleted files and a deleted folder. Needs root (FUSE mount), ntfs-3g, dosfstools, mtools.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'mountpoint -q "$work/m" && umount "$work/m"; rm -rf "$work"' EXIT

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
echo "samples written to $here"

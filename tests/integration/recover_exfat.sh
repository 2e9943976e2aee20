#!/usr/bin/env bash
# An exFAT camera card used as a person would: photos copied in, some deleted, a whole
# folder deleted, then qvr recover of everything deleted. Every deleted photo must come
# back byte for byte equal to the copy it was made from, with its modification time,
# and nothing live may be written.
source "$(dirname "$0")/common.bash" "$@"
source "$(dirname "$0")/exfat.bash"

photos="$work/photos"
mkdir -p "$photos"
# JPEG-like files of 40 KiB to 1.5 MiB.
for i in $(seq 1 30); do
  size=$(( (i * 48271) % 1500000 + 40000 ))
  { printf '\xff\xd8\xff\xe1'; head -c "$size" /dev/urandom; } > "$photos/IMG_$(printf %04d "$i").JPG"
done
touch -d '2023-07-14 09:30:00' "$photos"/*.JPG

img="$work/card.img"
truncate -s 128M "$img"
mkfs.exfat -L CARD "$img" > /dev/null
exfat_mount "$img"
mkdir -p "$mnt/DCIM/100CANON" "$mnt/DCIM/101CANON"
for i in $(seq 1 20); do cp -p "$photos/IMG_$(printf %04d "$i").JPG" "$mnt/DCIM/100CANON/"; done
for i in $(seq 21 30); do cp -p "$photos/IMG_$(printf %04d "$i").JPG" "$mnt/DCIM/101CANON/"; done
sync
deleted=()
for i in 2 3 7 11 12 19; do
  rm "$mnt/DCIM/100CANON/IMG_$(printf %04d "$i").JPG"
  deleted+=("DCIM/100CANON/IMG_$(printf %04d "$i").JPG")
done
for i in $(seq 21 30); do deleted+=("DCIM/101CANON/IMG_$(printf %04d "$i").JPG"); done
rm -r "$mnt/DCIM/101CANON"
exfat_umount

"$qvr" --log "$log" scan "$img" --deleted-only > "$work/scan.txt" || fail "scan exited $?"
head -1 "$work/scan.txt" | grep -q ': exFAT$' || fail "not named exFAT: $(head -1 "$work/scan.txt")"
out="$work/out"
mkdir "$out"
"$qvr" --log "$log" recover "$img" / --to "$out" > "$work/recover.txt" || fail "recover exited $?: $(cat "$work/recover.txt")"
for path in "${deleted[@]}"; do
  [ -f "$out/$path" ] || fail "$path was not recovered"
  cmp -s "$photos/$(basename "$path")" "$out/$path" || fail "$path differs from the photo it was copied from"
  [ "$(stat -c %Y "$out/$path")" = "$(stat -c %Y "$photos/$(basename "$path")")" ] || fail "$path has the wrong time"
  grep -q "$(basename "$path").*deleted.*Good" "$work/scan.txt" || fail "$path is not listed as deleted and Good"
done
written=$(find "$out" -type f | wc -l)
[ "$written" -eq "${#deleted[@]}" ] || fail "$written files written, ${#deleted[@]} were deleted"

# The same card with its first sector wiped: the backup boot region stands in.
cp "$img" "$work/wiped.img"
dd if=/dev/zero of="$work/wiped.img" bs=512 count=1 conv=notrunc status=none
"$qvr" --log "$log" scan "$work/wiped.img" --deleted-only > "$work/wiped.txt" || fail "scan of the wiped card exited $?"
diff <(tail -n +2 "$work/scan.txt") <(tail -n +2 "$work/wiped.txt") > /dev/null || fail "the wiped card scans differently"
echo "recovered ${#deleted[@]} deleted photos byte for byte; the card with a wiped boot sector scans the same"

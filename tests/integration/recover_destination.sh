#!/usr/bin/env bash
# Where qvr recover may write: a full destination stops with "Not enough disk space",
# and a destination on the device being scanned is refused before anything is written.
source "$(dirname "$0")/common.bash" "$@"
small="$work/small"
loop=""
cleanup_more() {
  if mountpoint -q "$small" 2>/dev/null; then umount "$small" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
}

img="$work/v.img"
truncate -s 16M "$img"
mkntfs -q -F -f "$img" 2>/dev/null
mkdir "$mnt"
ntfs-3g "$img" "$mnt"
head -c 300000 /dev/urandom > "$mnt/big.bin"
echo small > "$mnt/a.txt"
rm "$mnt/big.bin" "$mnt/a.txt"
umount "$mnt"

# A 64 KiB tmpfs cannot take a 300 KB file.
mkdir "$small"
mount -t tmpfs -o size=64k tmpfs "$small"
if "$qvr" --log "$log" recover "$img" /big.bin --to "$small" > "$work/out" 2> "$work/err"; then
  fail "a full destination exited 0"
fi
grep -qx "Not enough disk space" "$work/err" || fail "full destination message: $(cat "$work/err" "$work/out")"
grep -q "not enough disk space" "$log" || fail "the log has no disk-space line"
grep -q "successfully" "$work/out" && fail "a full destination was reported as a success"

# The image as a loop device, mounted: writing into it is refused.
loop=$(losetup -f --show "$img")
ntfs-3g "$loop" "$mnt"
mkdir "$mnt/dest"
if "$qvr" --log "$log" recover "$loop" /a.txt --to "$mnt/dest" > "$work/out" 2> "$work/err"; then
  fail "a destination on the scanned device exited 0"
fi
grep -q "Cannot Undelete to Drive .: Select destination folder on a different drive" "$work/err" \
  || fail "refusal message: $(cat "$work/err")"
[ -z "$(ls -A "$mnt/dest")" ] || fail "something was written onto the scanned device"
umount "$mnt"
# The image itself as the source while that loop device is mounted: the same bytes.
ntfs-3g "$loop" "$mnt"
if "$qvr" --log "$log" recover "$img" /a.txt --to "$mnt/dest" > "$work/out" 2> "$work/err"; then
  fail "a destination in a mount of a loop device backed by the image exited 0"
fi
grep -q "Cannot Undelete to Drive .: Select destination folder on a different drive" "$work/err" \
  || fail "loop mount refusal message: $(cat "$work/err")"
[ -z "$(ls -A "$mnt/dest")" ] || fail "something was written into the loop-mounted image"
umount "$mnt"
losetup -d "$loop"
loop=""
# A FUSE mount of the image file, also in a folder that does not exist yet.
ntfs-3g "$img" "$mnt"
for dest in "$mnt/dest" "$mnt/dest/not/yet"; do
  if "$qvr" --log "$log" recover "$img" /a.txt --to "$dest" > "$work/out" 2> "$work/err"; then
    fail "a destination in an ntfs-3g mount of the image exited 0 ($dest)"
  fi
  grep -q "Cannot Undelete to Drive .: Select destination folder on a different drive" "$work/err" \
    || fail "FUSE mount refusal message: $(cat "$work/err")"
done
[ -z "$(ls -A "$mnt/dest")" ] || fail "something was written into the mounted image"
umount "$mnt"
# Beside the image, which is not mounted any more, is fine.
mkdir "$work/beside"
"$qvr" --log "$log" recover "$img" /a.txt --to "$work/beside" > "$work/out" 2> "$work/err" \
  || fail "recovering beside the image exited $?: $(cat "$work/err")"
[ "$(cat "$work/beside/a.txt")" = small ] || fail "a.txt beside the image"
# The same device into a folder elsewhere is fine.
loop=$(losetup -f --show "$img")
mkdir "$work/elsewhere"
"$qvr" --log "$log" recover "$loop" /a.txt --to "$work/elsewhere" > "$work/out" 2> "$work/err" \
  || fail "recovering from the device to another folder exited $?: $(cat "$work/err")"
[ "$(cat "$work/elsewhere/a.txt")" = small ] || fail "a.txt from the device"
echo "destination rules hold"

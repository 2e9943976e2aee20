#!/usr/bin/env bash
# qvr mftdump on volumes made by mkntfs with 4 KiB, 64 KiB and 2 MiB clusters (the last
# two use the sectors-per-cluster byte's 0x80 and power-of-two forms): both files hold
# exactly the volume's bytes at the offsets ntfsinfo gives, a second dump replaces them,
# and an output folder on the dumped device or inside a mount of the dumped image is
# refused with nothing written.
source "$(dirname "$0")/common.bash" "$@"
loop=""
cleanup_more() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
}
out="$work/out"
mkdir "$out" "$mnt"

for cluster in 4096 65536 2097152; do
  img="$work/c$cluster.img"
  truncate -s 96M "$img"
  mkntfs -q -F -f -c "$cluster" "$img" 2>/dev/null
  ntfs-3g "$img" "$mnt"
  for i in $(seq 1 150); do echo "file $i" > "$mnt/f$i.txt"; done
  rm "$mnt"/f1*.txt
  umount "$mnt"

  "$qvr" --log "$log" mftdump "$img" --to "$out" > "$work/report" 2> "$work/err" \
    || fail "mftdump of c$cluster exited $?: $(cat "$work/err" "$work/report")"
  lcn=$(ntfsinfo -m "$img" 2>/dev/null | sed -n 's/.*LCN of Data Attribute for FILE_MFT: *//p')
  size=$(ntfsinfo -m "$img" 2>/dev/null | sed -n 's/.*Cluster Size: *//p' | head -1)
  [ -n "$lcn" ] && [ -n "$size" ] || fail "ntfsinfo gave no MFT position for c$cluster"
  offset=$((lcn * size))
  grep -qx "  >> MFT Offset from the beginning: $(printf %x "$offset")" "$work/report" \
    || fail "c$cluster: offset line, expected $(printf %x "$offset"): $(cat "$work/report")"
  grep -qx "  >> Total sectors quantity: $(($(stat -c %s "$img") / 512 - 1))" "$work/report" \
    || fail "c$cluster: total line: $(cat "$work/report")"
  grep -qx "Dump process successfully acomplished." "$work/report" || fail "c$cluster: no success line"
  [ "$(grep -cx '  >> Ok.' "$work/report")" = 2 ] || fail "c$cluster: two Ok lines expected"
  [ "$(stat -c %s "$out/BootDump.hex")" = 512 ] || fail "c$cluster: BootDump.hex size"
  [ "$(stat -c %s "$out/MFTDump.hex")" = 1024000 ] || fail "c$cluster: MFTDump.hex size"
  cmp -s "$out/BootDump.hex" <(head -c 512 "$img") || fail "c$cluster: boot sector differs"
  cmp -s "$out/MFTDump.hex" <(tail -c +$((offset + 1)) "$img" | head -c 1024000) \
    || fail "c$cluster: MFT bytes differ from the volume's at $offset"
  [ "$(head -c 4 "$out/MFTDump.hex")" = FILE ] || fail "c$cluster: the dump does not start with a FILE record"
done

# A volume that is not NTFS fails without writing.
rm -f "$out"/*.hex
truncate -s 8M "$work/fat.img"
mkfs.fat "$work/fat.img" > /dev/null
if "$qvr" --log "$log" mftdump "$work/fat.img" --to "$out" > "$work/report" 2>&1; then fail "a FAT volume was dumped"; fi
grep -q "holds no NTFS volume" "$work/report" || fail "FAT refusal: $(cat "$work/report")"
grep -q "successfully" "$work/report" && fail "a failed dump reported success"
[ -z "$(ls -A "$out")" ] || fail "a failed dump wrote files"

# The dumped device mounted: its own folders are refused, others are fine.
loop=$(losetup -f --show "$work/c4096.img")
ntfs-3g "$loop" "$mnt"
if "$qvr" --log "$log" mftdump "$loop" --to "$mnt" > "$work/report" 2>&1; then
  fail "an output folder on the dumped device was accepted"
fi
grep -q "the drive being dumped" "$work/report" || fail "refusal message: $(cat "$work/report")"
[ ! -e "$mnt/BootDump.hex" ] && [ ! -e "$mnt/MFTDump.hex" ] || fail "the dump wrote onto the dumped device"
"$qvr" --log "$log" mftdump "$loop" --to "$out" > "$work/report" 2>&1 || fail "dump of the loop device: $(cat "$work/report")"
cmp -s "$out/BootDump.hex" <(head -c 512 "$work/c4096.img") || fail "loop device dump: boot sector differs"
umount "$mnt"

# An image mounted through FUSE: a folder inside that mount is refused, one beside the image is not.
ntfs-3g "$work/c65536.img" "$mnt"
mkdir "$mnt/dest"
if "$qvr" --log "$log" mftdump "$work/c65536.img" --to "$mnt/dest" > "$work/report" 2>&1; then
  fail "an output folder inside a mount of the dumped image was accepted"
fi
grep -q "the drive being dumped" "$work/report" || fail "FUSE refusal message: $(cat "$work/report")"
[ -z "$(ls -A "$mnt/dest")" ] || fail "the dump wrote into the mounted image"
"$qvr" --log "$log" mftdump "$work/c65536.img" --to "$out" > "$work/report" 2>&1 \
  || fail "dump of a mounted image beside it: $(cat "$work/report")"
echo "MFT dumps equal the volumes' bytes"

#!/usr/bin/env bash
# VMDK files renamed after qemu-img made them: a monolithic sparse and a stream-optimised
# file carry a descriptor naming the file they were created as, yet are their own extent,
# so each scans as the bare volume does. A descriptor with its extent in another file
# still names that file, and says so when it is missing.
source "$(dirname "$0")/common.bash" "$@"
for tool in qemu-img mkfs.fat mcopy python3; do command -v "$tool" >/dev/null || fail "missing $tool"; done

vol="$work/vol.img"
truncate -s 8M "$vol"
mkfs.fat -F 16 -s 1 "$vol" >/dev/null
head -c 30000 /dev/urandom > "$work/r.bin"
mcopy -i "$vol" "$work/r.bin" ::/GONE.BIN
mcopy -i "$vol" "$work/r.bin" ::/KEEP.BIN
mdel -i "$vol" ::/GONE.BIN
"$qvr" --log "$log" scan "$vol" --json | grep -v '^ "volume": ' > "$work/bare.json" || fail "bare scan"

same_as_bare() {  # image
  "$qvr" --log "$log" scan "$1" --json > "$work/scan.json" || fail "$1: scan exited $?"
  grep -v '^ "volume": ' "$work/scan.json" | cmp -s - "$work/bare.json" || fail "$1: scan differs from the bare volume"
}

for subformat in monolithicSparse streamOptimized; do
  qemu-img convert -f raw -O vmdk -o subformat=$subformat "$vol" "$work/valid.vmdk"
  grep -aq '"valid.vmdk"' "$work/valid.vmdk" || fail "$subformat: the descriptor does not name valid.vmdk"
  mv "$work/valid.vmdk" "$work/evidence $subformat.vmdk"
  same_as_bare "$work/evidence $subformat.vmdk"
  # A file by the old name beside it is not read instead.
  truncate -s 1M "$work/valid.vmdk"
  same_as_bare "$work/evidence $subformat.vmdk"
  rm "$work/valid.vmdk"
done

# Descriptor and extent in two files: the name in the descriptor is the one looked for.
mkdir "$work/two"
qemu-img convert -f raw -O vmdk -o subformat=twoGbMaxExtentSparse "$vol" "$work/two/disk.vmdk"
[ -e "$work/two/disk-s001.vmdk" ] || fail "qemu-img made no extent file"
same_as_bare "$work/two/disk.vmdk"
rm "$work/two/disk-s001.vmdk"
if "$qvr" --log "$log" scan "$work/two/disk.vmdk" > /dev/null 2> "$work/err"; then fail "a missing extent was not noticed"; fi
grep -q "its extent file $work/two/disk-s001.vmdk is missing" "$work/err" || fail "no reason: $(cat "$work/err")"
QUENVAR_DRIVES="V=$work/two/disk.vmdk" "$qvr" --log "$log" drives > "$work/drives.txt" || true
grep -q "^V: .*disk-s001.vmdk is missing" "$work/drives.txt" || fail "the drive table gives no reason: $(cat "$work/drives.txt")"
echo "vmdk renamed: ok"

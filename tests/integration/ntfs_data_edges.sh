#!/usr/bin/env bash
# Data that is not all there to read: files preallocated by ntfsfallocate over the
# clusters of a deleted file (initialized size below the data size: the rest reads as
# zeros, not as the old file's bytes) and the boot file, whose data starts at cluster 0.
# "qvr cat" must equal icat, and a recovered preallocated file must hold the same bytes.
source "$(dirname "$0")/common.bash" "$@"

new_ntfs 32M
head -c 3M /dev/urandom > "$mnt/stale.bin"
sync
rm "$mnt/stale.bin"
mkdir "$mnt/d"
touch "$mnt/pre.bin" "$mnt/d/pre2.bin"
printf 'written part' > "$mnt/d/part.bin"
umount "$mnt"
ntfsfallocate -l 1M "$img" /pre.bin >/dev/null 2>&1 || fail "ntfsfallocate"
ntfsfallocate -o 0 -l 300000 "$img" /d/pre2.bin >/dev/null 2>&1 || fail "ntfsfallocate"
ntfsfallocate -o 4096 -l 200000 "$img" /d/part.bin >/dev/null 2>&1 || fail "ntfsfallocate"

check() {   # record, what
  "$qvr" --log "$log" cat "$img" "$1" > "$work/ours" || fail "$2: qvr cat exited $?"
  icat "$img" "$1" > "$work/theirs"
  cmp -s "$work/ours" "$work/theirs" || fail "$2: qvr cat differs from icat"
}
record() { fls -r -p "$img" | awk -v p="$1" -F'\t' '$2 == p { split($1, a, " "); split(a[2], r, "-"); print r[1] }'; }
for p in pre.bin d/pre2.bin d/part.bin; do
  n=$(record "$p")
  [ -n "$n" ] || fail "$p not listed by fls"
  istat "$img" "$n" | grep -q "init_size: [0-9]" || fail "$p: no init_size"
  check "$n" "$p"
done
# Stale bytes of the deleted file must not come back through the preallocated files.
[ "$(head -c 65536 "$work/theirs" | tr -d '\0' | wc -c)" -le 12 ] || fail "icat shows stale data?"
check 7 '$Boot'
head -c 11 "$work/ours" | tail -c 8 | grep -q "NTFS" || fail '$Boot does not start with the boot sector'

# Deleted, then recovered: the recovered file holds what icat gives, zeros included.
n=$(record d/pre2.bin)
icat "$img" "$n" > "$work/pre2.icat"
ntfs-3g "$img" "$mnt"
rm "$mnt/d/pre2.bin"
umount "$mnt"
mkdir "$work/out"
"$qvr" --log "$log" recover "$img" /d/pre2.bin --to "$work/out" > /dev/null || fail "qvr recover exited $?"
cmp -s "$work/out/pre2.bin" "$work/pre2.icat" || fail "recovered pre2.bin differs from icat"

# The whole tree like fls, with the preallocated files' data equal to icat's.
python3 "$(dirname "$0")/ntfs_compare.py" "$qvr" "$img" "$work"
echo "preallocated files and the boot file read as icat reads them"

#!/usr/bin/env bash
# qvr recover on a real NTFS volume: every deleted file (resident, non-resident,
# fragmented, sparse, compressed, behind an attribute list, empty, inside deleted
# folders) comes out byte-identical to what icat gives, with its modification time;
# free names, a missing destination and the overwrite answers on the side.
source "$(dirname "$0")/common.bash" "$@"

img="$work/v.img"
truncate -s 64M "$img"
mkntfs -q -F -f "$img" 2>/dev/null
mkdir "$mnt"
ntfs-3g -o compression "$img" "$mnt"
mkdir "$mnt/c" "$mnt/keep" "$mnt/gone" "$mnt/gone/sub" "$mnt/frag"
setfattr -n system.ntfs_attrib_be -v 0x00000810 "$mnt/c"
head -c 300000 < <(yes "some text") > "$mnt/c/comp.txt"
head -c 70000 /dev/urandom > "$mnt/c/random.bin"             # does not compress: stored units
dd if=/dev/zero of="$mnt/sparse.bin" bs=1 count=1 seek=3000000 2>/dev/null
printf 'tail' >> "$mnt/sparse.bin"
echo small > "$mnt/a.txt"                                      # resident
head -c 200000 /dev/urandom > "$mnt/nonres.bin"
: > "$mnt/empty.txt"
head -c 5000 /dev/urandom > "$mnt/gone/inner.bin"
head -c 70000 /dev/urandom > "$mnt/gone/sub/deep.bin"
echo live > "$mnt/keep/live.txt"
# Fragment the free space, then write a file across the holes.
for i in $(seq 1 120); do head -c 4096 /dev/urandom > "$mnt/frag/f$i"; done
for i in $(seq 2 2 120); do rm "$mnt/frag/f$i"; done
head -c 400000 /dev/urandom > "$mnt/fragmented.bin"
# Enough names to push the record's attributes into an attribute list.
head -c 9000 /dev/urandom > "$mnt/many.bin"
for i in $(seq 60); do ln "$mnt/many.bin" "$mnt/link_with_a_rather_long_name_number_$i.bin"; done
# Deletions last, folders after their files, so no record is taken over.
rm "$mnt"/link_with_a_rather_long_name_number_*.bin "$mnt/many.bin"
rm "$mnt/c/comp.txt" "$mnt/c/random.bin" "$mnt/sparse.bin" "$mnt/a.txt" "$mnt/nonres.bin" "$mnt/empty.txt" \
   "$mnt/fragmented.bin"
rm -r "$mnt/gone"
umount "$mnt"

"$qvr" --log "$log" scan "$img" --json > "$work/scan.json" || fail "scan exited $?"
out="$work/out"
mkdir "$out"
"$qvr" --log "$log" recover "$img" / --to "$out" --overwrite skip > "$work/recover.txt" \
  || fail "recover exited $?: $(cat "$work/recover.txt")"
grep -q "Folder 'gone' was successfully recovered: 2 files, 2 subfolders" "$work/recover.txt" \
  || fail "folder counts: $(cat "$work/recover.txt")"
[ ! -e "$out/keep" ] || fail "a live folder with nothing deleted was written"

# Every deleted file of the scan against icat, and its modification time.
python3 - "$work/scan.json" > "$work/deleted.txt" <<'PY'
import json, sys, calendar, time
doc = json.load(open(sys.argv[1]))
for e in doc["entries"]:
    if e["deleted"] and not e["directory"]:
        m = e["modified"]
        t = calendar.timegm(time.strptime(m, "%Y-%m-%dT%H:%M:%SZ")) if m else -1
        print(e["key"], t, e["path"])
PY
count=0
while read -r key mtime path; do
  icat "$img" "$key" > "$work/expected" || fail "icat $key"
  [ -f "$out$path" ] || fail "$path was not recovered"
  cmp -s "$work/expected" "$out$path" || fail "$path differs from icat $key"
  got=$(stat -c %Y "$out$path")
  [ "$got" = "$mtime" ] || fail "$path: mtime $got, expected $mtime"
  count=$((count + 1))
done < "$work/deleted.txt"
[ "$count" -ge 70 ] || fail "only $count deleted files were compared"
for f in c/comp.txt c/random.bin sparse.bin a.txt nonres.bin empty.txt fragmented.bin many.bin gone/sub/deep.bin; do
  grep -q " /$f\$" "$work/deleted.txt" || fail "the scan did not list /$f"
done
[ ! -s "$out/empty.txt" ] || fail "empty.txt is not empty"

# Free names: a.txt into a folder holding a.txt and a(1).txt becomes a(2).txt; "skip"
# answers No to the question and writes nothing.
dest="$work/dest"
mkdir "$dest"
echo old > "$dest/a.txt"
echo old > "$dest/a(1).txt"
"$qvr" --log "$log" recover "$img" /a.txt --to "$dest" --overwrite skip > "$work/skip.txt" || fail "skip exited $?"
[ ! -e "$dest/a(2).txt" ] || fail "skip wrote a file"
"$qvr" --log "$log" recover "$img" /a.txt --to "$dest" --overwrite all > "$work/all.txt" || fail "all exited $?"
cmp -s "$dest/a(2).txt" "$out/a.txt" || fail "a(2).txt was not written"
[ "$(cat "$dest/a.txt")" = old ] || fail "a.txt was overwritten"
echo y | "$qvr" --log "$log" recover "$img" /a.txt --to "$dest" --overwrite ask > /dev/null 2>&1 \
  || fail "ask exited $?"
[ -e "$dest/a(3).txt" ] || fail "the answer Yes did not write a(3).txt"

# A missing destination folder is refused with a message and nothing is created.
if "$qvr" --log "$log" recover "$img" /a.txt --to "$work/missing" 2> "$work/err"; then
  fail "a missing destination exited 0"
fi
grep -q "does not exist" "$work/err" || fail "missing destination message: $(cat "$work/err")"
[ ! -e "$work/missing" ] || fail "the missing destination was created"

# An item that is not on the volume fails the command.
if "$qvr" --log "$log" recover "$img" /no/such.txt --to "$dest" 2> "$work/err"; then fail "unknown item exited 0"; fi
grep -q "not found" "$work/err" || fail "unknown item message: $(cat "$work/err")"
echo "recovered and compared $count files"

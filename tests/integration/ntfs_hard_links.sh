#!/usr/bin/env bash
# Hard links made by ntfs-3g: a file of 100 names in three folders (its names overflow
# the record into extension records through an attribute list), a small file with two,
# and a deleted file that had two. Every name fls lists must be in the scan under its own
# folder with the file's record number, and the data read through any of them must
# equal icat's.
source "$(dirname "$0")/common.bash" "$@"

new_ntfs 32M
mkdir "$mnt/a" "$mnt/b" "$mnt/c"
head -c 50000 /dev/urandom > "$mnt/a/base.bin"
for i in $(seq 99); do
  case $((i % 3)) in
    0) ln "$mnt/a/base.bin" "$mnt/a/l$i.bin" ;;
    1) ln "$mnt/a/base.bin" "$mnt/b/link_with_a_longer_name_$i.bin" ;;
    2) ln "$mnt/a/base.bin" "$mnt/c/x$i" ;;
  esac
done
echo "two names" > "$mnt/c/one"
ln "$mnt/c/one" "$mnt/b/one_link"
mkdir "$mnt/old"
head -c 9000 /dev/urandom > "$mnt/old/gone.bin"
ln "$mnt/old/gone.bin" "$mnt/b/gone_link.bin"
rm "$mnt/b/gone_link.bin" "$mnt/old/gone.bin"
umount "$mnt"

n=$(fls -r -p "$img" | grep -c "base.bin\|/l[0-9]*.bin\|link_with_a_longer_name\|c/x[0-9]")
[ "$n" -eq 100 ] || fail "fls lists $n names of the linked file, not 100"
python3 "$(dirname "$0")/ntfs_compare.py" "$qvr" "$img" "$work"
"$qvr" --log "$log" scan "$img" --json > "$work/scan.json"
python3 - "$work/scan.json" <<'PY' || fail "names of the linked file"
import json, sys
entries = json.load(open(sys.argv[1]))["entries"]
base = [e for e in entries if e["path"] == "/a/base.bin"][0]
names = [e for e in entries if e["key"] == base["key"]]
folders = {e["path"].rsplit("/", 1)[0] for e in names}
assert len(names) == 100 and folders == {"/a", "/b", "/c"}, (len(names), folders)
assert all(e["size"] == 50000 and not e["deleted"] for e in names)
print(f"{len(names)} names of record {base['key']} in {sorted(folders)}")
PY

#!/usr/bin/env bash
# A real NTFS volume made with mkntfs and ntfs-3g (resident, fragmented, compressed, sparse
# files, one with an attribute list), some files and folders deleted, then compared with
# The Sleuth Kit: every deleted entry that fls lists with an unallocated, unreused MFT
# record must be in "qvr scan" with the same record, path and size, and its data read
# through the parser ("qvr cat") must equal icat's byte for byte.
source "$(dirname "$0")/common.bash" "$@"

img="$work/v.img"
truncate -s 64M "$img"
mkntfs -q -F -f "$img" >/dev/null 2>&1
mkdir -p "$mnt"
ntfs-3g -o compression "$img" "$mnt"

# Live tree.
mkdir -p "$mnt/docs/letters" "$mnt/photos" "$mnt/c"
setfattr -n system.ntfs_attrib_be -v 0x00000810 "$mnt/c"
echo "a resident letter" > "$mnt/docs/letters/keep.txt"
head -c 200000 /dev/urandom > "$mnt/photos/keep.jpg"

# Files that will be deleted.
echo "small" > "$mnt/docs/letters/resident.txt"
head -c 300000 < <(yes "some text") > "$mnt/c/comp.txt"         # LZNT1-compressed
head -c 123457 < <(yes "compressed and deleted") > "$mnt/c/comp_deleted.txt"
dd if=/dev/zero of="$mnt/sparse.bin" bs=1 count=1 seek=10000000 2>/dev/null
printf 'tail' | dd of="$mnt/sparse.bin" bs=1 seek=5000000 conv=notrunc 2>/dev/null
for i in $(seq 60); do ln "$mnt/c/comp.txt" "$mnt/link_with_a_long_name_$i.txt"; done
mkdir -p "$mnt/old/inner"
echo "in a deleted folder" > "$mnt/old/inner/note.txt"
head -c 30000 /dev/urandom > "$mnt/old/data.bin"
echo "ünïcödé" > "$mnt/docs/ünïcödé name.txt"
# A file in hundreds of fragments: small files, the rest of the volume filled, every
# other small file removed, then the big file written into the holes. Its run list
# overflows the record, so it gets an attribute list and extension records.
mkdir "$mnt/frag"
for i in $(seq 1 1200); do head -c 4096 /dev/urandom > "$mnt/frag/f$i"; done
dd if=/dev/zero of="$mnt/filler" bs=64k 2>/dev/null || true
for i in $(seq 1 2 1200); do rm "$mnt/frag/f$i"; done
head -c 2200000 /dev/urandom > "$mnt/fragmented.bin"

# Deletions last, folders after their files, so no record is reused.
rm "$mnt/docs/letters/resident.txt" "$mnt/fragmented.bin" "$mnt/c/comp_deleted.txt" "$mnt/sparse.bin"
rm "$mnt/docs/ünïcödé name.txt"
rm -r "$mnt/old"
umount "$mnt"

"$qvr" --log "$work/scan.log" scan "$img" --json > "$work/scan.json" || fail "qvr scan exited $?"
fls -r -d -p -l "$img" > "$work/fls.txt"

python3 - "$work" "$img" "$qvr" <<'PY'
import json, subprocess, sys
work, img, qvr = sys.argv[1:4]
doc = json.load(open(f"{work}/scan.json"))
assert doc["filesystem"] == "NTFS", doc["filesystem"]
entries = {}
for e in doc["entries"]:
    entries.setdefault(e["key"], []).append(e)
problems, checked, files, orphans = [], 0, 0, 0
for line in open(f"{work}/fls.txt", encoding="utf-8", errors="surrogateescape"):
    line = line.rstrip("\n")
    if not line.strip():
        continue
    head, _, rest = line.partition(":\t")
    fields = rest.split("\t")
    path, size = fields[0], int(fields[5])
    kind, _, ref = head.rpartition(" ")
    if "(realloc)" in line or ":" in path:
        continue
    record = int(ref.split("-")[0])
    if record < 24:
        continue
    if path.startswith("$OrphanFiles/"):
        # No name left on disk (ntfs-3g removes the names of a file it deletes from its
        # extension records): only the data can be compared.
        ours = subprocess.run([qvr, "--log", f"{work}/cat.log", "cat", img, str(record)], capture_output=True)
        theirs = subprocess.run(["icat", img, str(record)], capture_output=True)
        if ours.returncode != 0 or ours.stdout != theirs.stdout:
            problems.append(f"nameless record {record}: data differs from icat")
        orphans += 1
        continue
    is_dir = kind.startswith("-/d") or kind.startswith("d/d")
    candidates = [e for e in entries.get(record, []) if e["path"] == "/" + path]
    if not candidates:
        problems.append(f"record {record} {path}: not in qvr scan (have {entries.get(record)})")
        continue
    e = candidates[0]
    checked += 1
    if not e["deleted"]:
        problems.append(f"{path}: not marked deleted")
    if e["directory"] != is_dir:
        problems.append(f"{path}: directory flag {e['directory']}")
    if is_dir:
        continue
    if e["size"] != size:
        problems.append(f"{path}: size {e['size']}, fls {size}")
    ours = subprocess.run([qvr, "--log", f"{work}/cat.log", "cat", img, str(record)], capture_output=True)
    theirs = subprocess.run(["icat", img, str(record)], capture_output=True)
    if ours.returncode != 0:
        problems.append(f"{path}: qvr cat exited {ours.returncode}: {ours.stderr.decode(errors='replace')}")
    elif ours.stdout != theirs.stdout:
        problems.append(f"{path}: data differs from icat ({len(ours.stdout)} vs {len(theirs.stdout)} bytes)")
    files += 1
expected = {"docs/letters/resident.txt", "c/comp_deleted.txt", "sparse.bin",
            "old", "old/inner", "old/inner/note.txt", "old/data.bin", "docs/ünïcödé name.txt"}
seen = {e["path"][1:] for es in entries.values() for e in es if e["deleted"]}
for p in sorted(expected - seen):
    problems.append(f"{p}: deleted entry missing from qvr scan")
# Live compressed data through the attribute list (60 links) must read as icat gives it.
live = [e for es in entries.values() for e in es if e["path"] == "/c/comp.txt"]
if not live:
    problems.append("/c/comp.txt missing")
else:
    k = str(live[0]["key"])
    ours = subprocess.run([qvr, "--log", f"{work}/cat.log", "cat", img, k], capture_output=True).stdout
    theirs = subprocess.run(["icat", img, k], capture_output=True).stdout
    if ours != theirs or len(ours) != 300000:
        problems.append(f"/c/comp.txt: {len(ours)} bytes, differs from icat")
print(f"checked {checked} deleted entries against fls, {files} files and {orphans} nameless records against icat")
if checked < len(expected) or orphans < 1 or problems:
    print("\n".join(problems) or "too few entries checked", file=sys.stderr)
    sys.exit(1)
PY

# The whole tree, live entries included, like fls; compressed, sparse and fragmented
# files read like icat.
python3 "$(dirname "$0")/ntfs_compare.py" "$qvr" "$img" "$work" --max-cat 150

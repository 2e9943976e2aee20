#!/usr/bin/env bash
# exFAT entry sets other drivers leave behind: a live file whose set checksum fails
# because its valid data length was set beyond its size, a folder whose name is 256
# units long (the one-byte name length overflowed to 0, the 18 name entries hold the
# name) and a volume label of 15 characters (more than the format's 11, as Linux tools
# write it). Made with mkfs.exfat and exfat-fuse, then patched as those drivers write.
# qvr must list what fls lists and the folder fls skips, the damaged file marked, and
# give its bytes as icat does.
source "$(dirname "$0")/common.bash" "$@"
source "$(dirname "$0")/exfat.bash"

img="$work/e.img"
truncate -s 8M "$img"
mkfs.exfat -L SHORT "$img" >/dev/null
head -c 5000 /dev/urandom > "$work/damaged.bin"
long=$(printf 'x%.0s' $(seq 255))
exfat_mount "$img"
mkdir "$mnt/keep" "$mnt/$long"
cp "$work/damaged.bin" "$mnt/keep/damaged.bin"
echo inner > "$mnt/$long/inner.txt"
echo gone > "$mnt/$long/gone.txt"
sync
rm "$mnt/$long/gone.txt"
exfat_umount

python3 - "$img" <<'PY'
import struct, sys
f = open(sys.argv[1], "r+b")
boot = f.read(512)
heap = struct.unpack_from("<I", boot, 88)[0]
root = struct.unpack_from("<I", boot, 96)[0]
sector = 1 << boot[108]
cluster = sector << boot[109]
def at(c): return heap * sector + (c - 2) * cluster
def rotate(s, b): return (((s & 1) << 15) + (s >> 1) + b) & 0xFFFF
def checksum(es):
    s = 0
    for i, b in enumerate(es):
        if i not in (2, 3): s = rotate(s, b)
    return s
def sets(c):
    f.seek(at(c)); d = bytearray(f.read(cluster))
    for off in range(0, cluster, 32):
        if d[off] == 0x85:
            n = d[off + 1]
            name = "".join(d[off + 64 + 32 * k + 2:off + 96 + 32 * k].decode("utf-16-le") for k in range(n - 1))
            yield d, off, n, name.rstrip("\0")
def put(c, d): f.seek(at(c)); f.write(d)
# The label: 15 characters, the count byte saying so.
f.seek(at(root)); d = bytearray(f.read(cluster))
off = next(o for o in range(0, cluster, 32) if d[o] == 0x83)
d[off + 1] = 15; d[off + 2:off + 32] = "QUENVAR LABEL15".encode("utf-16-le")
put(root, d)
for d, off, n, name in sets(root):
    if name == "keep":
        keep = struct.unpack_from("<I", d, off + 32 + 20)[0]
    elif name.startswith("xxx"):
        # One more name entry: 256 units, the length byte 0, hash and checksum as written.
        assert d[off + 32 * (n + 1)] == 0, "the long folder is not the last set"
        e = off + 32 * (n + 1)
        d[e:e + 32] = b"\xC1\0" + "y".encode("utf-16-le") + bytes(28)
        d[off + 1] = n + 1; d[off + 32 + 3] = 0
        h = 0
        for ch in ("X" * 255 + "Y").encode("utf-16-le"): h = rotate(h, ch)
        struct.pack_into("<H", d, off + 32 + 4, h)
        struct.pack_into("<H", d, off + 2, checksum(d[off:off + 32 * (n + 2)]))
        put(root, d)
for d, off, n, name in sets(keep):
    if name == "damaged.bin":
        # The valid data length past the size, the set checksum left as it was.
        struct.pack_into("<Q", d, off + 32 + 8, 5000 + 4096)
        put(keep, d)
PY

"$qvr" --log "$log" scan "$img" --json > "$work/scan.json" || fail "scan exited $?"
"$qvr" --log "$log" scan "$img" > "$work/scan.txt" || fail "scan exited $?"
grep -q "^  damaged.bin  live  5000  .*  Damaged$" "$work/scan.txt" || fail "damaged.bin not marked: $(cat "$work/scan.txt")"
grep -q "volume label: QUENVAR LABEL15 *$" "$log" || fail "label not read whole: $(grep 'volume label' "$log")"
fls -r -p "$img" > "$work/fls.txt"
python3 - "$work/scan.json" "$work/fls.txt" <<'PY' || fail "qvr and fls differ"
import json, sys
doc = json.load(open(sys.argv[1]))
ours = {e["path"].lstrip("/"): e for e in doc["entries"]}
theirs = {}
for line in open(sys.argv[2], encoding="utf-8"):
    meta, _, path = line.rstrip("\n").partition(":\t")
    if meta.split()[0].startswith(("v/", "V/")) or path.startswith("$") or "(Volume Label" in path:
        continue
    theirs[path] = "*" in meta
# fls skips the folder whose name length is 0 (and so what it holds): its name and
# entries are those the driver wrote.
long = "x" * 255 + "y"
assert "keep/damaged.bin" in theirs, f"fls does not list keep/damaged.bin: {sorted(theirs)}"
got = {p: e["deleted"] for p, e in ours.items() if not p.startswith(long)}
assert got == theirs, f"qvr lists {got}, fls {theirs}"
inside = {p: e["deleted"] for p, e in ours.items() if p.startswith(long)}
assert inside == {long: False, long + "/inner.txt": False, long + "/gone.txt": True}, inside
d = ours["keep/damaged.bin"]
assert d.get("entryDamaged") and d["size"] == 5000 and not d["deleted"], d
assert not any(e.get("entryDamaged") for p, e in ours.items() if p != "keep/damaged.bin"), ours
PY
key=$(python3 -c 'import json,sys; print(next(e["key"] for e in json.load(open(sys.argv[1]))["entries"] if e["path"] == "/keep/damaged.bin"))' "$work/scan.json")
inode=$(fls -p -r "$img" | awk -F'\t' '$2 == "keep/damaged.bin" { split($1, a, " "); sub(":", "", a[2]); print a[2] }')
"$qvr" --log "$log" cat "$img" "$key" > "$work/cat.bin" || fail "cat exited $?"
cmp -s "$work/cat.bin" "$work/damaged.bin" || fail "cat of damaged.bin is not its bytes"
icat "$img" "$inode" | cmp -s - "$work/cat.bin" || fail "cat of damaged.bin differs from icat $inode"
echo "exfat damaged sets: ok"

#!/bin/bash
# Long names of 200 Japanese characters (600 bytes of UTF-8, 200 UTF-16 units) on a real
# FAT32 volume: one live, one deleted with mtools. Both are listed under their whole
# names as fls lists them, and the deleted one is recovered; its name is longer than this file
# system takes, so it is written under a "recovered_" name with the bytes icat reads.
# mtools cuts long names at 255 bytes of UTF-8, so the long-name entries are written
# into the directory cluster by the script below.
source "$(dirname "$0")/common.bash" "$@"
img="$work/j.img"
truncate -s 300M "$img"
mkfs.fat -F 32 -s 8 "$img" >/dev/null
head -c 9000 /dev/urandom > "$work/keep.bin"
head -c 20000 /dev/urandom > "$work/gone.bin"
mcopy -i "$img" "$work/keep.bin" ::/KEEP.BIN
mcopy -i "$img" "$work/gone.bin" ::/GONE.BIN
keep=$(python3 -c "print(''.join(chr(0x3042 + i % 83) for i in range(196)) + '.txt')")
gone=$(python3 -c "print(''.join(chr(0x30A2 + i % 80) for i in range(196)) + '.bin')")

python3 - "$img" "$keep" "$gone" <<'PY'
import struct, sys
img, keep, gone = sys.argv[1:4]
names = {b"KEEP    BIN": keep, b"GONE    BIN": gone}
with open(img, "r+b") as f:
    boot = f.read(512)
    bps, spc, reserved, nfats = struct.unpack_from("<HBHB", boot, 11)
    fat_sectors, = struct.unpack_from("<I", boot, 36)
    root, = struct.unpack_from("<I", boot, 44)
    cluster_size = bps * spc
    offset = (reserved + nfats * fat_sectors) * bps + (root - 2) * cluster_size
    f.seek(offset)
    data = f.read(cluster_size)
    out = []
    for i in range(0, cluster_size, 32):
        e = data[i:i + 32]
        if e[0] == 0:
            break
        if e[11] == 0x0F:
            continue
        if e[:11] in names:
            u = names[e[:11]].encode("utf-16-le")
            units = [u[k:k + 2] for k in range(0, len(u), 2)] + [b"\0\0"]
            while len(units) % 13:
                units.append(b"\xff\xff")
            checksum = 0
            for c in e[:11]:
                checksum = (((checksum & 1) << 7) + (checksum >> 1) + c) & 0xFF
            n = len(units) // 13
            for k in range(n, 0, -1):
                p = units[(k - 1) * 13:k * 13]
                out.append(bytes([k | (0x40 if k == n else 0)]) + b"".join(p[0:5]) + bytes([0x0F, 0, checksum]) +
                           b"".join(p[5:11]) + b"\0\0" + b"".join(p[11:13]))
        out.append(e)
    blob = b"".join(out)
    assert len(blob) <= cluster_size
    f.seek(offset)
    f.write(blob + b"\0" * (cluster_size - len(blob)))
PY
mdel -i "$img" ::/GONE.BIN
fls -r -d -p "$img" | grep -q "	$gone\$" || fail "fls does not list the deleted long name"
# fls cuts live long names at 195 characters; mdir reads them whole.
mdir -i "$img" :: | grep -q " $keep\$" || fail "mdir does not list the live long name"

"$qvr" --log "$log" scan --json "$img" > "$work/scan.json"
python3 - "$work/scan.json" "$keep" "$gone" <<'PY' || fail "the long names are not listed"
import json, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
keep, gone = sys.argv[2], sys.argv[3]
assert f"/{keep}" in entries and not entries[f"/{keep}"]["deleted"], sorted(entries)
deleted = entries.get(f"/{gone}")
assert deleted and deleted["deleted"] and deleted["size"] == 20000, sorted(entries)
PY

mkdir "$work/out"
"$qvr" --log "$log" recover "$img" "/$gone" --to "$work/out" > "$work/out.txt" 2> "$work/err" \
    || fail "recover exited $?: $(cat "$work/err")"
written=$(ls "$work/out")
case "$written" in recovered_*) ;; *) fail "written as '$written'";; esac
cmp -s "$work/out/$written" "$work/gone.bin" || fail "the recovered bytes differ from the file"
inode=$(fls -r -d -p "$img" | grep "	$gone\$" | sed 's/^r\/r \* \([0-9]*\):.*/\1/')
icat "$img" "$inode" | cmp -s - "$work/out/$written" || fail "the recovered bytes differ from icat"
echo "200-character Japanese long names listed and recovered"

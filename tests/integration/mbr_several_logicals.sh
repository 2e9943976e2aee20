#!/usr/bin/env bash
# An MBR disk laid out as DOS-era tools do: extended boot records holding two logical
# partitions each (slots 0 and 1) with the link to the next record in slot 2, six
# FAT16 volumes in all. Every partition mmls lists is listed by qvr, and each one scans
# to its own volume.
source "$(dirname "$0")/common.bash" "$@"
for tool in mmls mkfs.fat mcopy python3; do command -v "$tool" >/dev/null || fail "missing $tool"; done

disk="$work/dos.img"
truncate -s 20M "$disk"
# Primary 63+6000 (FAT16), extended 6063-40959; records at 6063 and 18063 with two
# logicals each and a link, the last record at 30063 with one logical.
python3 - "$disk" <<'PY'
import struct, sys
f = open(sys.argv[1], "r+b")
def record(sector, slots):
    body = b""
    for kind, start, count in slots:
        body += struct.pack("<B3sB3sII", 0, b"\0\0\0", kind, b"\0\0\0", start, count)
    f.seek(sector * 512 + 446)
    f.write(body.ljust(64, b"\0") + b"\x55\xaa")
ext = 6063
record(0, [(0x06, 63, 6000), (0x05, ext, 40960 - ext)])
record(ext, [(0x06, 63, 5937), (0x06, 6000, 6000), (0x05, 12000, 12000)])
record(ext + 12000, [(0x06, 63, 5937), (0x06, 6000, 6000), (0x05, 24000, 10000)])
record(ext + 24000, [(0x06, 63, 6000)])
PY
expected="63 6000
6126 5937
12063 6000
18126 5937
24063 6000
30126 6000"
[ "$(mmls_partitions "$disk")" = "$expected" ] || fail "mmls reads the layout otherwise: $(mmls "$disk")"
[ "$(qvr_partitions "$disk")" = "$expected" ] || fail "qvr lists
$(qvr_partitions "$disk")
but mmls
$expected"

n=0
while read -r start count; do
  n=$((n + 1))
  truncate -s $((count * 512)) "$work/v$n.img"
  mkfs.fat -F 16 -s 1 -n "PART$n" "$work/v$n.img" >/dev/null
  echo "volume $n" > "$work/f.txt"
  mcopy -i "$work/v$n.img" "$work/f.txt" "::/GONE$n.TXT"
  mdel -i "$work/v$n.img" "::/GONE$n.TXT"
  dd if="$work/v$n.img" of="$disk" bs=512 seek="$start" conv=notrunc status=none
done <<< "$expected"

for n in 1 2 3 4 5 6; do
  "$qvr" --log "$log" scan "$disk@$n" --deleted-only > "$work/s$n.txt" || fail "scan $disk@$n exited $?"
  grep -q "^_ONE$n\.TXT  deleted" "$work/s$n.txt" || fail "$disk@$n is not volume $n: $(cat "$work/s$n.txt")"
done
echo "mbr several logicals: ok"

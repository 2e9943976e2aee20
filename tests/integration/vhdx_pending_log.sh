#!/usr/bin/env bash
# A VHDX left with a log that was never replayed: made by qemu-img from a FAT volume,
# then the 4 KiB block holding the boot sector blanked in place and its current bytes
# put in a log entry the header names (as a host that died between writing its log
# and the file would leave it). qemu-img check -r all replays the log on a copy, which
# then holds the volume; qvr must not read the stale blocks but say why it refuses.
source "$(dirname "$0")/common.bash" "$@"
for tool in qemu-img mkfs.fat mcopy python3; do command -v "$tool" >/dev/null || fail "missing $tool"; done

vol="$work/vol.img"
truncate -s 8M "$vol"
mkfs.fat -F 16 -s 1 -n LOGGED "$vol" >/dev/null
head -c 30000 /dev/urandom > "$work/r.bin"
mcopy -i "$vol" "$work/r.bin" ::/GONE.BIN
mdel -i "$vol" ::/GONE.BIN
qemu-img convert -f raw -O vhdx "$vol" "$work/good.vhdx"
cp "$work/good.vhdx" "$work/pending.vhdx"

python3 - "$work/pending.vhdx" "$vol" <<'PY'
import os, struct, sys, uuid
def crc32c(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 if crc & 1 else 0)
    return crc ^ 0xFFFFFFFF
f = open(sys.argv[1], "r+b")
image = bytearray(f.read())
boot = open(sys.argv[2], "rb").read(512)
at = image.find(boot)
assert at > 0 and at % 4096 == 0, at
block = bytes(image[at:at + 4096])
# The current header: the sound one with the higher sequence number.
headers = []
for off in (64 * 1024, 128 * 1024):
    h = bytearray(image[off:off + 4096])
    stored = struct.unpack_from("<I", h, 4)[0]
    struct.pack_into("<I", h, 4, 0)
    assert h[:4] == b"head" and crc32c(h) == stored, "a header of qemu-img's fails its checksum"
    headers.append((struct.unpack_from("<Q", h, 8)[0], off, h))
seq, off, h = max(headers)
log_length, log_offset = struct.unpack_from("<IQ", h, 68)
guid = uuid.uuid4().bytes_le
sequence = 7
entry = bytearray(8192)
struct.pack_into("<4sIIIQII16sQQ", entry, 0, b"loge", 0, 8192, 0, sequence, 1, 0, guid, len(image), len(image))
struct.pack_into("<4s4s8sQQ", entry, 64, b"desc", block[4092:], block[:8], at, sequence)
struct.pack_into("<4sI", entry, 4096, b"data", sequence >> 32)
entry[4096 + 8:4096 + 4092] = block[8:4092]
struct.pack_into("<I", entry, 4096 + 4092, sequence & 0xFFFFFFFF)
struct.pack_into("<I", entry, 4, crc32c(entry))
assert log_length >= len(entry)
image[log_offset:log_offset + len(entry)] = entry
h[48:64] = guid
struct.pack_into("<I", h, 4, 0)
struct.pack_into("<I", h, 4, crc32c(h))
image[off:off + 4096] = h
image[at:at + 4096] = bytes(4096)  # the stale block: the write the log holds never reached it
f.seek(0)
f.write(image)
PY

# The oracle: qemu-img replays the log on a copy, which then is the volume again.
cp "$work/pending.vhdx" "$work/replayed.vhdx"
qemu-img check -r all "$work/replayed.vhdx" > "$work/check.txt" 2>&1 || fail "qemu-img check: $(cat "$work/check.txt")"
qemu-img convert -f vhdx -O raw "$work/replayed.vhdx" "$work/replayed.raw"
cmp -s "$work/replayed.raw" "$vol" || fail "qemu-img's replay does not give the volume back"
cmp -s "$work/pending.vhdx" "$work/replayed.vhdx" && fail "qemu-img check changed nothing"

before=$(md5sum < "$work/pending.vhdx")
"$qvr" --log "$log" scan "$vol" --json | grep -v '^ "volume": ' > "$work/bare.json"
for ok in good replayed; do
  "$qvr" --log "$log" scan "$work/$ok.vhdx" --json > "$work/$ok.json" || fail "$ok.vhdx: scan exited $?"
  grep -v '^ "volume": ' "$work/$ok.json" | cmp -s - "$work/bare.json" || fail "$ok.vhdx: scan differs from the volume"
done
if "$qvr" --log "$log" scan "$work/pending.vhdx" > /dev/null 2> "$work/err"; then fail "stale VHDX contents were scanned"; fi
grep -q "this VHDX has a log that was not replayed; its contents would be stale" "$work/err" \
  || fail "no reason given: $(cat "$work/err")"
[ "$(md5sum < "$work/pending.vhdx")" = "$before" ] || fail "the pending VHDX was written"
echo "vhdx pending log: ok"

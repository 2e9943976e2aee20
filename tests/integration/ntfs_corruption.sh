#!/usr/bin/env bash
# Copies of a real NTFS volume with random bytes changed inside the MFT and the index
# blocks: every scan, and a read of every deleted file, must end normally (no signal, no
# hang, no sanitizer report) and still print JSON.
source "$(dirname "$0")/common.bash" "$@"
# A sanitizer report must end the process with a signal, which the checks below catch.
export ASAN_OPTIONS="abort_on_error=1:${ASAN_OPTIONS:-}" UBSAN_OPTIONS="abort_on_error=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

img="$work/v.img"
truncate -s 16M "$img"
mkntfs -q -F -f "$img" >/dev/null 2>&1
mkdir -p "$mnt"
ntfs-3g -o compression "$img" "$mnt"
mkdir -p "$mnt/a/b" "$mnt/c" "$mnt/many"
setfattr -n system.ntfs_attrib_be -v 0x00000810 "$mnt/c"
for i in $(seq 1 150); do echo "file $i" > "$mnt/many/entry_with_a_longer_name_$i.txt"; done
head -c 100000 < <(yes "compressible") > "$mnt/c/comp.txt"
head -c 300000 /dev/urandom > "$mnt/a/b/big.bin"
dd if=/dev/zero of="$mnt/a/sparse" bs=1 count=1 seek=3000000 2>/dev/null
for i in $(seq 40); do ln "$mnt/c/comp.txt" "$mnt/c/link_$i"; done
for i in $(seq 1 3 150); do rm "$mnt/many/entry_with_a_longer_name_$i.txt"; done
rm "$mnt/c/comp.txt" "$mnt/a/sparse"
rm -r "$mnt/a"
umount "$mnt"

copies=${NTFS_CORRUPT_COPIES:-40}
python3 - "$img" "$work" "$copies" <<'PY'
import random, struct, sys
img, work, copies = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = bytearray(open(img, "rb").read())
spc = data[13]
mft = struct.unpack_from("<Q", data, 48)[0] * spc * 512
regions = [(mft, mft + 256 * 1024)]
pos = data.find(b"INDX")
while pos != -1:
    if pos % 512 == 0:
        regions.append((pos, pos + 4096))
    pos = data.find(b"INDX", pos + 1)
rng = random.Random(1208)
for n in range(copies):
    copy = bytearray(data)
    for _ in range(rng.randint(1, 40)):
        lo, hi = rng.choice(regions)
        off = rng.randrange(lo, hi)
        copy[off] = rng.choice([0, 0xFF, rng.randrange(256), copy[off] ^ (1 << rng.randrange(8))])
    open(f"{work}/copy{n}.img", "wb").write(copy)
PY

for n in $(seq 0 $((copies - 1))); do
  copy="$work/copy$n.img"
  set +e
  timeout 120 "$qvr" --log "$work/scan.log" scan "$copy" --json --orphans > "$work/out.json" 2> "$work/err"
  rc=$?
  set -e
  [ $rc -lt 124 ] || fail "copy $n: scan ended with status $rc: $(tail -5 "$work/err")"
  python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$work/out.json" || fail "copy $n: no JSON"
  keys=$(python3 -c 'import json,sys; print(" ".join([str(e["key"]) for e in json.load(open(sys.argv[1]))["entries"] if e["deleted"] and not e["directory"]][:12]))' "$work/out.json")
  for k in $keys; do
    set +e
    timeout 60 "$qvr" --log "$work/cat.log" cat "$copy" "$k" > /dev/null 2>> "$work/err"
    rc=$?
    set -e
    [ $rc -lt 124 ] || fail "copy $n: cat $k ended with status $rc: $(tail -5 "$work/err")"
  done
  rm -f "$copy"
done
echo "scanned $copies damaged copies"

#!/usr/bin/env bash
# Damaged exFAT volumes: copies of real volumes (512-byte and 4 KiB clusters) with random
# bytes changed in the boot region, the FAT, the bitmap and the directories must scan and
# have their deleted files recovered without a crash, a hang or a sanitizer report.
# COPIES (default 20 per volume) sets how many.
source "$(dirname "$0")/common.bash" "$@"
source "$(dirname "$0")/exfat.bash"
COPIES=${COPIES:-20}
SEED=${SEED:-$RANDOM}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

make_volume() {  # image cluster
  truncate -s 16M "$1"
  mkfs.exfat -c "$2" "$1" > /dev/null
  head -c 5000 /dev/urandom > "$work/data"
  exfat_mount "$1"
  mkdir -p "$mnt/a/b/c" "$mnt/gone/sub"
  for i in $(seq 1 12); do cp "$work/data" "$mnt/a/b/Some longer file name $i.txt"; done
  for i in $(seq 1 6); do cp "$work/data" "$mnt/gone/sub/f$i.bin"; done
  cp "$work/data" "$mnt/a/b/c/short.txt"
  cp "$work/data" "$mnt/root file.txt"
  rm "$mnt/a/b/Some longer file name 3.txt" "$mnt/a/b/Some longer file name 7.txt"
  rm -r "$mnt/gone"
  exfat_umount
}
make_volume "$work/v512.img" 512
make_volume "$work/v4k.img" 4K

failures=0
scans=0
for v in 512 4k; do
  for n in $(seq 1 "$COPIES"); do
    copy="$work/c.img"
    python3 - "$work/v$v.img" "$copy" "$((SEED * 1000 + n))" <<'PY'
import random, struct, sys
src, dst, seed = sys.argv[1], sys.argv[2], int(sys.argv[3])
rnd = random.Random(seed)
img = bytearray(open(src, "rb").read())
bps = 1 << img[108]
fat_off, fat_len, heap = struct.unpack_from("<III", img, 80)
cluster = bps << img[109]
fat_area = (fat_off * bps, (fat_off + fat_len) * bps)
# The bitmap, the up-case table, the root and the folders lie at the start of the heap.
meta_area = (heap * bps, min(len(img), heap * bps + 120 * cluster))
mode = rnd.random()
if mode < 0.15:     # boot region fields (the backup then stands in, unless it is hit too)
    for _ in range(rnd.randint(1, 4)):
        img[rnd.randint(64, 111) + (12 * bps if rnd.random() < 0.3 else 0)] = rnd.randint(0, 255)
for _ in range(rnd.randint(1, 300)):
    area = fat_area if rnd.random() < 0.3 else meta_area
    pos = rnd.randrange(area[0], area[1])
    img[pos] = rnd.choice([0x00, 0x05, 0x85, 0x40, 0xC0, 0x41, 0xC1, 0xFF, 0x10, rnd.randint(0, 255)])
if rnd.random() < 0.3:  # stream entries with random clusters and lengths
    for _ in range(rnd.randint(1, 20)):
        pos = rnd.randrange(meta_area[0], meta_area[1] - 32) & ~31
        img[pos] = rnd.choice([0xC0, 0x40])
        img[pos + 1] = rnd.randint(0, 3)
        struct.pack_into("<QIQ", img, pos + 8, rnd.randint(0, 2**64 - 1), rnd.randint(0, 2**32 - 1),
                         rnd.choice([0, rnd.randint(0, 2**64 - 1), rnd.randint(0, 1 << 20)]))
open(dst, "wb").write(img)
PY
    scans=$((scans + 1))
    rm -rf "$work/out-dir" && mkdir "$work/out-dir"
    set +e
    timeout 60 "$qvr" --log "$work/log" scan "$copy" --json > "$work/out" 2> "$work/err"
    rc=$?
    if [ $rc -lt 124 ]; then
      timeout 120 "$qvr" --log "$work/log" recover "$copy" / --to "$work/out-dir" --overwrite all > /dev/null 2>> "$work/err"
      r=$?
      [ $r -ge 124 ] && rc=$r
    fi
    set -e
    if [ $rc -ge 124 ] || grep -qE "AddressSanitizer|runtime error|LeakSanitizer" "$work/err"; then
      failures=$((failures + 1))
      echo "exFAT $v copy $n (seed $SEED): exit $rc"; head -20 "$work/err"
    fi
    rm -f "$work/log"
  done
done
echo "$scans damaged volumes scanned and recovered, $failures failures (seed $SEED)"
[ $failures -eq 0 ]

#!/bin/bash
# Damaged FAT volumes: copies of real FAT12, FAT16 and FAT32 volumes with random bytes
# changed in the boot sector, the FATs and the directories must scan without a crash,
# a hang or a sanitizer report. COPIES (default 40 per width) sets how many.
source "$(dirname "$0")/common.bash" "$@"
COPIES=${COPIES:-40}
SEED=${SEED:-$RANDOM}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

make_volume() {  # image mkfs-args...
    local img=$1; shift
    mkfs.fat "$@" "$img" >/dev/null
    head -c 5000 /dev/urandom >"$work/data"
    mmd -i "$img" ::/a ::/a/b ::/a/b/c ::/gone ::/gone/sub
    for i in $(seq 1 12); do mcopy -i "$img" "$work/data" "::/a/b/Some longer file name $i.txt"; done
    for i in $(seq 1 6); do mcopy -i "$img" "$work/data" "::/gone/sub/f$i.bin"; done
    mcopy -i "$img" "$work/data" ::/a/b/c/short.txt
    mcopy -i "$img" "$work/data" "::/root file.txt"
    mdel -i "$img" "::/a/b/Some longer file name 3.txt" "::/a/b/Some longer file name 7.txt"
    mdeltree -i "$img" ::/gone
}

truncate -s 1440K "$work/v12.img" && make_volume "$work/v12.img" -F 12
truncate -s 16M "$work/v16.img" && make_volume "$work/v16.img" -F 16
truncate -s 40M "$work/v32.img" && make_volume "$work/v32.img" -F 32

failures=0
scans=0
for w in 12 16 32; do
    for n in $(seq 1 "$COPIES"); do
        copy="$work/c.img"
        python3 - "$work/v$w.img" "$copy" "$((SEED * 1000 + w * 100 + n))" <<'PY'
import random, struct, sys
src, dst, seed = sys.argv[1], sys.argv[2], int(sys.argv[3])
rnd = random.Random(seed)
img = bytearray(open(src, "rb").read())
bps = struct.unpack_from("<H", img, 11)[0]
reserved = struct.unpack_from("<H", img, 14)[0]
fats = img[16]
spf = struct.unpack_from("<H", img, 22)[0] or struct.unpack_from("<I", img, 36)[0]
root_entries = struct.unpack_from("<H", img, 17)[0]
data_start = (reserved + fats * spf) * bps + root_entries * 32
fat_area = (reserved * bps, (reserved + fats * spf) * bps)
# Directories and small files lie at the start of the data area.
dir_area = (fat_area[1], min(len(img), data_start + 200 * img[13] * bps))
mode = rnd.random()
if mode < 0.1:      # boot sector fields
    for _ in range(rnd.randint(1, 4)):
        img[rnd.randint(11, 89)] = rnd.randint(0, 255)
for _ in range(rnd.randint(1, 400)):
    area = fat_area if rnd.random() < 0.4 else dir_area
    pos = rnd.randrange(area[0], area[1])
    img[pos] = rnd.choice([0x00, 0xE5, 0x0F, 0x10, 0xFF, 0x2E, 0x41, rnd.randint(0, 255)])
if rnd.random() < 0.3:  # whole directory entries with random first clusters and sizes
    for _ in range(rnd.randint(1, 30)):
        pos = rnd.randrange(dir_area[0], dir_area[1] - 32) & ~31
        struct.pack_into("<H", img, pos + 20, rnd.choice([0, rnd.randint(0, 0xFFFF)]))
        struct.pack_into("<HI", img, pos + 26, rnd.randint(0, 0xFFFF), rnd.choice([0, 1, rnd.randint(0, 2**32 - 1)]))
open(dst, "wb").write(img)
PY
        scans=$((scans + 1))
        set +e
        timeout 60 "$qvr" --log "$work/log" scan "$copy" --json >"$work/out" 2>"$work/err"
        rc=$?
        set -e
        if [ $rc -ge 124 ] || grep -qE "AddressSanitizer|runtime error|LeakSanitizer" "$work/err"; then
            failures=$((failures + 1))
                        echo "FAT$w copy $n (seed $SEED): exit $rc"; head -20 "$work/err"
        fi
        rm -f "$work/log"
    done
done
echo "$scans damaged volumes scanned, $failures failures (seed $SEED)"
[ $failures -eq 0 ]

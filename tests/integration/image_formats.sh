#!/usr/bin/env bash
# Real FAT and NTFS volumes inside the disk image containers (VHD, VHDX, VMDK, QCOW2
# made by qemu-img; E01 made by ewfacquire, whole and in segments) and cut into a
# split raw image: qvr scan lists the same entries as on the bare volume and qvr
# recover writes the same bytes. Damaged containers (truncated, a chunk failing its
# checksum, a missing segment) give a clean error or zero-filled unreadable ranges,
# and a run of mutated container headers never crashes or hangs qvr.
source "$(dirname "$0")/common.bash" "$@"

# --- the bare volumes --------------------------------------------------------------
fat="$work/fat.img"
truncate -s 16M "$fat"
mkfs.fat -F 16 "$fat" >/dev/null
head -c 200000 /dev/urandom > "$work/r200k.bin"
head -c 3000000 /dev/urandom > "$work/r3m.bin"
echo "short text" > "$work/short.txt"
mmd -i "$fat" ::/docs ::/keep
mcopy -i "$fat" "$work/short.txt" ::/NOTE.TXT
mcopy -i "$fat" "$work/r200k.bin" "::/docs/A long name.bin"
mcopy -i "$fat" "$work/r3m.bin" ::/docs/BIG.BIN
mcopy -i "$fat" "$work/short.txt" ::/keep/live.txt
mdel -i "$fat" ::/NOTE.TXT "::/docs/A long name.bin" ::/docs/BIG.BIN

ntfs="$work/ntfs.img"
truncate -s 16M "$ntfs"
mkntfs -q -F -f "$ntfs" 2>/dev/null
mkdir -p "$mnt"
ntfs-3g "$ntfs" "$mnt"
mkdir "$mnt/gone" "$mnt/keep"
echo small > "$mnt/resident.txt"
cp "$work/r200k.bin" "$mnt/gone/inner.bin"
cp "$work/r3m.bin" "$mnt/big.bin"
echo live > "$mnt/keep/live.txt"
rm "$mnt/resident.txt" "$mnt/big.bin"
rm -r "$mnt/gone"
umount "$mnt"

# A scan's JSON without the volume's name (one key a line, keys sorted).
entries() { grep -v '^ "volume": ' "$1"; }

# Scans and recovers SOURCE and compares both with what the bare volume gave (NAME).
same_as_bare() {  # name source what
  local name=$1 source=$2 what=$3 out="$work/out-$3"
  "$qvr" --log "$log" scan "$source" --json > "$work/$what.json" || fail "$what: scan exited $?"
  entries "$work/$what.json" > "$work/$what.entries"
  cmp -s "$work/$name.entries" "$work/$what.entries" \
    || fail "$what: scan differs from the bare volume: $(diff "$work/$name.entries" "$work/$what.entries" | head -5)"
  rm -rf "$out"
  mkdir "$out"
  "$qvr" --log "$log" recover "$source" / --to "$out" --overwrite skip > "$work/$what.txt" \
    || fail "$what: recover exited $?: $(cat "$work/$what.txt")"
  diff -r "$work/out-$name" "$out" > /dev/null || fail "$what: recovered files differ from the bare volume's"
  rm -rf "$out"
}

compared=0
for name in fat ntfs; do
  img="$work/$name.img"
  "$qvr" --log "$log" scan "$img" --json > "$work/$name.json" || fail "$name: bare scan exited $?"
  entries "$work/$name.json" > "$work/$name.entries"
  grep -q '"deleted": true' "$work/$name.entries" || fail "$name: nothing deleted on the bare volume"
  mkdir "$work/out-$name"
  "$qvr" --log "$log" recover "$img" / --to "$work/out-$name" --overwrite skip > /dev/null || fail "$name: bare recover"
  [ -n "$(find "$work/out-$name" -type f)" ] || fail "$name: nothing recovered from the bare volume"

  for format in vpc vhdx vmdk qcow2; do
    qemu-img convert -f raw -O "$format" "$img" "$work/$name.$format"
    same_as_bare "$name" "$work/$name.$format" "$name-$format"
  done
  # A fixed VHD carries its only signature in the footer.
  qemu-img convert -f raw -O vpc -o subformat=fixed "$img" "$work/$name-fixed.vhd"
  same_as_bare "$name" "$work/$name-fixed.vhd" "$name-fixed-vhd"
  # The name says nothing: the signature decides.
  mv "$work/$name.qcow2" "$work/$name-qcow.img"
  same_as_bare "$name" "$work/$name-qcow.img" "$name-renamed-qcow2"

  ewfacquire -u -q -t "$work/$name-z" -f encase6 -c deflate:best "$img" > /dev/null
  same_as_bare "$name" "$work/$name-z.E01" "$name-e01"
  ewfacquire -u -q -t "$work/$name-seg" -f encase6 -c none -S 1MiB "$img" > /dev/null
  [ -e "$work/$name-seg.E10" ] || fail "$name: ewfacquire made no segments"
  same_as_bare "$name" "$work/$name-seg.E01" "$name-e01-segments"
  same_as_bare "$name" "$work/$name-seg.E07" "$name-e01-from-segment-7"

  split -b 5M --numeric-suffixes=1 -a 3 "$img" "$work/$name-split."
  same_as_bare "$name" "$work/$name-split.001" "$name-split"
  same_as_bare "$name" "$work/$name-split.003" "$name-split-from-003"
  compared=$((compared + 11))
done

# --- damaged containers --------------------------------------------------------------
# Exits with a status of its own and a message, never through a signal.
clean_failure() {  # what command...
  local what=$1 rc=0; shift
  "$@" > "$work/damaged.out" 2> "$work/damaged.err" || rc=$?
  [ "$rc" -ne 0 ] || fail "$what: accepted"
  [ "$rc" -lt 124 ] || fail "$what: died with status $rc"
  [ -s "$work/damaged.err" ] || fail "$what: no message"
}
truncate -s 300K "$work/fat.vhdx"
clean_failure "truncated VHDX" "$qvr" --log "$log" scan "$work/fat.vhdx"
grep -q "VHDX image could not be opened" "$work/damaged.err" || fail "truncated VHDX: $(cat "$work/damaged.err")"
head -c 100000 "$work/fat-z.E01" > "$work/cut.E01"
clean_failure "truncated E01" "$qvr" --log "$log" scan "$work/cut.E01"

# Where the 3 MB file's bytes lie in the bare FAT volume decides which chunks to spoil.
big_at=$(python3 -c 'import sys; print(open(sys.argv[1],"rb").read().find(open(sys.argv[2],"rb").read(4096)))' "$fat" "$work/r3m.bin")
[ "$big_at" -gt 0 ] || fail "the big file's data was not found in the FAT volume"

# Recovers BIG.BIN from SOURCE and checks that it equals the original except for
# zero-filled ranges that all lie inside [FROM, TO) of the file, with the loss logged.
check_zero_filled() {  # what source from to
  local what=$1 source=$2 out="$work/out-$1"
  rm -rf "$out"; mkdir "$out"
  : > "$work/damaged.log"
  "$qvr" --log "$work/damaged.log" recover "$source" /docs --to "$out" --overwrite skip > "$work/damaged.out" 2>&1 \
    || fail "$what: recover exited $?: $(cat "$work/damaged.out")"
  python3 - "$work/r3m.bin" "$out/docs/_IG.BIN" "$3" "$4" <<'PY' || fail "$what: recovered data"
import sys
want = open(sys.argv[1], "rb").read(); got = open(sys.argv[2], "rb").read()
lo, hi = int(sys.argv[3]), int(sys.argv[4])
assert len(got) == len(want), "length %d" % len(got)
bad = [i for i in range(len(want)) if want[i] != got[i]]
assert bad, "no damage showed"
assert lo <= bad[0] and bad[-1] < hi, "damage at %d..%d outside %d..%d" % (bad[0], bad[-1], lo, hi)
assert not any(got[bad[0]:bad[-1] + 1]), "the unreadable range is not zero-filled"
PY
  grep -q "written as zeros" "$work/damaged.log" || fail "$what: the unreadable data was not logged"
}

# A chunk failing its checksum: one byte spoiled at 1.5 MiB of the volume, inside the
# big file's data (found in segment 2 by content).
cp "$work/fat-seg.E02" "$work/kept.E02"
spoil_at=$(python3 - "$fat" "$work/fat-seg.E02" "$big_at" <<'PY'
import sys
vol = open(sys.argv[1], "rb").read(); seg = bytearray(open(sys.argv[2], "rb").read())
probe = vol[1572864:1572864 + 64]
at = seg.find(probe)
assert at > 0
seg[at + 10] ^= 0xFF
open(sys.argv[2], "wb").write(seg)
print(1572864 + 10 - int(sys.argv[3]))
PY
) || fail "no chunk to spoil"
check_zero_filled "E01 checksum error" "$work/fat-seg.E01" $((spoil_at - 32768)) $((spoil_at + 32768))

# A missing E01 segment: libewf takes the set up to the gap, so its sectors and all
# after them are unreadable; what lies before still reads. (A segment of 1 MiB holds
# a little less than 1 MiB of the volume: the third starts between 1.5 and 2 MiB.)
mv "$work/kept.E02" "$work/fat-seg.E02"
mv "$work/fat-seg.E03" "$work/moved.E03"
check_zero_filled "missing E01 segment" "$work/fat-seg.E01" $((1572864 - big_at)) $((16777216 - big_at))

# A missing segment of a split raw image: its 1 MB reads as unreadable sectors, the
# segments after it stay in place.
split -b 1M --numeric-suffixes=1 -a 3 "$fat" "$work/cut."
mv "$work/cut.003" "$work/moved.003"
check_zero_filled "missing split segment" "$work/cut.001" $((2097152 - big_at)) $((3145728 - big_at))
mv "$work/moved.003" "$work/cut.003"
rm "$work/cut.001"
clean_failure "split image without its first segment" "$qvr" --log "$log" scan "$work/cut.004"
grep -q "first segment" "$work/damaged.err" || fail "missing first segment: $(cat "$work/damaged.err")"

# --- mutated headers -----------------------------------------------------------------
floppy="$work/floppy.img"
mkfs.fat -C "$floppy" 1440 >/dev/null
mcopy -i "$floppy" "$work/short.txt" ::/A.TXT
mdel -i "$floppy" ::/A.TXT
qemu-img convert -f raw -O vpc "$floppy" "$work/m.vhd"
qemu-img convert -f raw -O vhdx -o block_size=1M,log_size=1M "$floppy" "$work/m.vhdx"
qemu-img convert -f raw -O vmdk "$floppy" "$work/m.vmdk"
qemu-img convert -f raw -O qcow2 "$floppy" "$work/m.qcow2"
ewfacquire -u -q -t "$work/m" -f encase6 -c deflate:fast "$floppy" > /dev/null
runs=0
for container in m.vhd m.vhdx m.vmdk m.qcow2 m.E01; do
  ext=${container##*.}
  size=$(stat -c %s "$work/$container")
  span=4096
  [ "$ext" != vhdx ] || span=327680
  for ((seed = 1; seed <= ${QVR_MUTATION_RUNS:-40}; seed++)); do
    cp --sparse=always "$work/$container" "$work/mut.$ext"
    # A few bytes overwritten, mostly in the structures that lie at the start of each
    # format (the VHDX headers and region tables reach to 320 KiB).
    RANDOM=$((seed * 31 + ${#ext}))
    for ((flips = RANDOM % 8 + 1; flips > 0; flips--)); do
      if [ $((RANDOM % 5)) -eq 0 ]; then at=$(((RANDOM * 32768 + RANDOM) % size)); else at=$(((RANDOM * 32768 + RANDOM) % span)); fi
      printf "\\x$(printf %02x $((RANDOM % 256)))" | dd of="$work/mut.$ext" bs=1 seek="$at" conv=notrunc status=none
    done
    rc=0
    timeout 20 "$qvr" --log "$work/mut.log" scan "$work/mut.$ext" > /dev/null 2>&1 || rc=$?
    [ "$rc" -lt 124 ] || fail "$container mutation $seed: qvr exited with $rc (crash or hang)"
    runs=$((runs + 1))
  done
done
echo "compared $compared images with their bare volumes; $runs mutated headers read without a crash"

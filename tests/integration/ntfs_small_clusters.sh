#!/usr/bin/env bash
# A volume of 512-byte clusters (mkntfs -c 512) whose $MFT grows in thousands of records
# into small holes of free space, so its runs are odd numbers of sectors and records
# straddle two runs. Every entry fls lists must be found at its record number with its
# state, and the data of files must equal icat's.
source "$(dirname "$0")/common.bash" "$@"

new_ntfs 32M -c 512

# Non-resident files of three clusters fill the volume; removing every other one leaves
# holes of three clusters (a record and a half) where the $MFT has to grow.
mkdir "$mnt/small"
pad=$(printf '%1500s' '')
for i in $(seq 3000); do printf '%s' "$pad" > "$mnt/small/s$i"; done
dd if=/dev/zero of="$mnt/filler" bs=64k 2>/dev/null || true
for i in $(seq 1 2 3000); do rm "$mnt/small/s$i"; done
for b in 1 2 3 4; do
  mkdir "$mnt/d$b"
  for i in $(seq 700); do echo "file $b $i" > "$mnt/d$b/f$i.txt" || break; done
done
# Deleted entries throughout the grown part, their folder records kept.
for b in 1 2 3 4; do for i in $(seq 1 50 700); do rm -f "$mnt/d$b/f$i.txt"; done; done
rm -r "$mnt/d4"
umount "$mnt"

# The point of the test: runs of an odd number of sectors in $MFT's $DATA.
python3 - "$img" <<'PY' || fail "the \$MFT did not fragment into odd runs"
import re, subprocess, sys
out = subprocess.run(["istat", sys.argv[1], "0"], capture_output=True, text=True, check=True).stdout
data = out[out.index("Type: $DATA"):]
data = data[data.index("\n"):data.index("Type: $BITMAP")]
clusters = [int(c) for c in re.findall(r"\d+", data) if c != "0"]
runs, length = [], 0
for prev, cur in zip(clusters, clusters[1:] + [None]):
    length += 1
    if cur != prev + 1:
        runs.append(length)
        length = 0
odd = sum(1 for r in runs if r % 2)
print(f"$MFT: {len(runs)} runs, {odd} of an odd number of clusters")
sys.exit(0 if odd >= 10 else 1)
PY

python3 "$(dirname "$0")/ntfs_compare.py" "$qvr" "$img" "$work" --max-cat 200

#!/usr/bin/env bash
# Makes a large NTFS test volume with ntfs-3g: FILES files (default 200000) in a tree of
# folders, mostly small resident files and some large fragmented ones; a fifth of the
# files deleted, then some whole folders deleted last.
# usage: ntfs_make_volume.sh IMAGE [FILES]
set -euo pipefail
img=${1:?image path}
files=${2:-200000}
mnt=$(mktemp -d)
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt" 2>/dev/null || true
  rmdir "$mnt" 2>/dev/null || true
}
trap cleanup EXIT

# About 6 KiB per file on average plus the MFT, with room to spare.
size_mb=$(( files * 8 / 1024 + 64 ))
rm -f "$img"
truncate -s "${size_mb}M" "$img"
mkntfs -q -F -f "$img" >/dev/null 2>&1
ntfs-3g -o big_writes "$img" "$mnt"

python3 - "$mnt" "$files" <<'PY'
import os, random, sys
root, files = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
top = max(1, files // 2000)            # 2000 files per top folder
subs = 10
made = 0
paths = []
big = os.urandom(1 << 20)
for t in range(top):
    for s in range(subs):
        d = os.path.join(root, f"project_{t:03d}", f"module_{s:02d}")
        os.makedirs(d, exist_ok=True)
        per = files // (top * subs) + (1 if t * subs + s < files % (top * subs) else 0)
        for i in range(per):
            p = os.path.join(d, f"document_{i:04d}_{rng.randrange(1 << 30):08x}.txt")
            if rng.random() < 0.002:
                # A large file written in pieces between small ones, so it fragments.
                with open(p, "wb") as f:
                    f.write(big[: rng.randrange(200_000, 1_000_000)])
            else:
                with open(p, "wb") as f:
                    f.write(os.urandom(rng.randrange(20, 600)))
            paths.append(p)
            made += 1
# A fifth of the files deleted, then some folders (with everything left in them).
for p in rng.sample(paths, len(paths) // 5):
    os.remove(p)
import shutil
for t in range(0, top, 7):
    shutil.rmtree(os.path.join(root, f"project_{t:03d}", "module_03"), ignore_errors=True)
print(f"made {made} files in {top * subs} folders")
PY
umount "$mnt"

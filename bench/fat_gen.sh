#!/bin/bash
# Makes a FAT32 volume image with ENTRIES files and folders (default 50,000) carrying
# long names over a realistic tree, then deletes about a fifth of them with mtools
# (single files here and there, and whole folders). The kernel has no vfat driver for a
# loop mount, so everything goes through mtools.
#   bench/fat_gen.sh IMAGE [ENTRIES]
set -euo pipefail
IMG=${1:?image path}
ENTRIES=${2:-50000}
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
for tool in mkfs.fat mcopy mdel mdeltree python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
SRC=$(mktemp -d)
trap 'rm -rf "$SRC"' EXIT

# The local tree: projects / years / topics / files, most files small, names long.
python3 - "$SRC/tree" "$ENTRIES" "$SRC/deleted-files" "$SRC/deleted-folders" <<'PY'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2])
rnd = random.Random(1234)
words = ["Annual", "report", "budget", "draft", "final", "meeting", "notes", "invoice", "customer",
         "summary", "project", "design", "review", "backup", "photo", "holiday", "scan", "letter",
         "contract", "version", "presentation", "analysis", "quarterly", "minutes", "archive"]
exts = [".docx", ".xlsx", ".pdf", ".txt", ".jpg", ".png", ".pptx", ".csv", ".html", ".zip"]
made = 0
dirs, files = [], []
projects = max(1, total // 2500)
os.makedirs(root)
while made < total:
    for p in range(projects):
        if made >= total:
            break
        pdir = os.path.join(root, f"Project {p:03d} {rnd.choice(words)} {rnd.choice(words)}")
        os.makedirs(pdir, exist_ok=True)
        made += 1
        dirs.append(pdir)
        for y in range(2015, 2025):
            if made >= total:
                break
            ydir = os.path.join(pdir, f"Year {y} documents")
            os.makedirs(ydir, exist_ok=True)
            made += 1
            dirs.append(ydir)
            for t in range(3):
                if made >= total:
                    break
                tdir = os.path.join(ydir, f"{rnd.choice(words).capitalize()} {rnd.choice(words)} folder {t}")
                os.makedirs(tdir, exist_ok=True)
                made += 1
                dirs.append(tdir)
                for f in range(80):
                    if made >= total:
                        break
                    name = f"{rnd.choice(words)} {rnd.choice(words)} {rnd.choice(words)} {f:04d}{rnd.choice(exts)}"
                    path = os.path.join(tdir, name)
                    with open(path, "wb") as out:
                        out.write(os.urandom(rnd.choice([0, 10, 200, 1500, 3000, 6000])))
                    made += 1
                    files.append(path)
    projects = 1
# A fifth deleted: half as loose files, half as whole topic folders.
leaf_dirs = [d for d in dirs if os.path.basename(d).endswith(("folder 0", "folder 1", "folder 2"))]
rnd.shuffle(leaf_dirs)
gone_dirs, gone = [], 0
for d in leaf_dirs:
    if gone >= total // 10:
        break
    gone_dirs.append(d)
    gone += 1 + len(os.listdir(d))
gone_set = set(gone_dirs)
loose = [f for f in files if os.path.dirname(f) not in gone_set]
rnd.shuffle(loose)
rel = lambda p: "::/" + os.path.relpath(p, root)
with open(sys.argv[3], "w") as out:
    for f in loose[: total // 10]:
        out.write(rel(f) + "\0")
with open(sys.argv[4], "w") as out:
    for d in gone_dirs:
        out.write(rel(d) + "\0")
PY

# Room for every file's clusters, with 4 KiB clusters; FAT32 needs 65,525 of them at least.
SIZE_MB=$(( ENTRIES * 5 / 1024 + 80 ))
[ "$SIZE_MB" -ge 300 ] || SIZE_MB=300
rm -f "$IMG"
truncate -s "${SIZE_MB}M" "$IMG"
mkfs.fat -F 32 -s 8 -n BENCH "$IMG" >/dev/null
mcopy -s -i "$IMG" "$SRC/tree"/* ::/
xargs -0 -n 500 mdel -i "$IMG" <"$SRC/deleted-files"
xargs -0 -n 50 mdeltree -i "$IMG" <"$SRC/deleted-folders"
echo "$IMG: $ENTRIES entries, ${SIZE_MB} MiB"

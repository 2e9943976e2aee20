#!/usr/bin/env python3
# The local tree the volume benchmarks copy onto a volume: projects / years / topics /
# files, most files small, names long, ENTRIES files and folders in all; and the fifth
# of it to delete, half as loose files, half as whole topic folders, as NUL-separated
# paths relative to the tree's root, each behind PREFIX ("::/" for mtools).
#   bench/make_tree.py TREE ENTRIES DELETED_FILES DELETED_FOLDERS [PREFIX]
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
prefix = sys.argv[5] if len(sys.argv) > 5 else ""
rel = lambda p: prefix + os.path.relpath(p, root)
with open(sys.argv[3], "w") as out:
    for f in loose[: total // 10]:
        out.write(rel(f) + "\0")
with open(sys.argv[4], "w") as out:
    for d in gone_dirs:
        out.write(rel(d) + "\0")

#!/bin/bash
# Real FAT12, FAT16 and FAT32 volumes made with mkfs.fat and filled and partly deleted
# with mtools: `qvr scan --json` must list every file and folder that The Sleuth Kit's
# `fls -r -d -p -l` lists, deleted ones with the same path and size: a deleted long
# name whole, a deleted 8.3 name with '_' for its lost first character.
source "$(dirname "$0")/common.bash" "$@"
for tool in mkfs.fat mcopy mmd mdel mdeltree fls python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

fill() {  # image
    local img=$1 src="$work/src"
    mkdir -p "$src"
    head -c 0 /dev/urandom >"$src/empty"
    head -c 1 /dev/urandom >"$src/one"
    head -c 3000 /dev/urandom >"$src/small"
    head -c 70000 /dev/urandom >"$src/medium"
    mmd -i "$img" ::/docs ::/docs/reports ::/tmp ::/tmp/nested ::/tmp/nested/deeper "::/Long Folder Name"
    mcopy -i "$img" "$src/small" ::/readme.txt
    mcopy -i "$img" "$src/medium" "::/A long file name with spaces.bin"
    mcopy -i "$img" "$src/small" "::/Café résumé.txt"
    mcopy -i "$img" "$src/one" ::/docs/x.txt
    mcopy -i "$img" "$src/medium" "::/docs/reports/Quarterly report 2023.xlsx"
    mcopy -i "$img" "$src/small" ::/docs/reports/SUMMARY.TXT
    mcopy -i "$img" "$src/empty" ::/docs/empty.dat
    mcopy -i "$img" "$src/small" "::/tmp/nested/deeper/a name that needs three entries.txt"
    mcopy -i "$img" "$src/one" ::/tmp/nested/n.txt
    mcopy -i "$img" "$src/small" "::/Long Folder Name/Inner File.txt"
    for i in $(seq 1 30); do mcopy -i "$img" "$src/one" "::/docs/file number $i.txt"; done
    # Deletions: single files, every third of a series, whole trees.
    mdel -i "$img" ::/readme.txt "::/Café résumé.txt" ::/docs/empty.dat
    mdel -i "$img" "::/docs/reports/Quarterly report 2023.xlsx"
    for i in $(seq 1 3 30); do mdel -i "$img" "::/docs/file number $i.txt"; done
    mdeltree -i "$img" ::/tmp "::/Long Folder Name"
    # A file written after the deletions reuses a freed slot.
    mcopy -i "$img" "$src/one" ::/docs/new.txt
}

compare() {  # image label
    local img=$1 label=$2
    "$qvr" --log "$work/$label.log" scan "$img" --json >"$work/$label.json"
    fls -r -d -p -l "$img" >"$work/$label.fls.deleted"
    fls -r -p -l "$img" >"$work/$label.fls.all"
    python3 - "$work/$label.json" "$work/$label.fls.all" "$label" <<'PY'
import json, sys
ours_doc = json.load(open(sys.argv[1]))
entries = ours_doc["entries"] if isinstance(ours_doc, dict) else ours_doc
ours = {e["path"].lstrip("/"): e for e in entries}
label = sys.argv[3]
fls = []
for line in open(sys.argv[2], encoding="utf-8", errors="surrogateescape"):
    meta, _, rest = line.rstrip("\n").partition(":\t")
    fields = rest.split("\t")
    kind, deleted = meta.split()[0], "*" in meta
    # Virtual entries, orphans found outside the tree, and the label, which fls shows as
    # "NAME (Volume Label Entry)".
    if kind.startswith(("v/", "V/")) or fields[0].startswith("$OrphanFiles") or "(Volume Label Entry)" in fields[0]:
        continue
    fls.append((fields[0], kind.startswith("d/"), deleted, int(fields[5])))
# A deleted folder whose cluster now holds other data is skipped by design; fls lists
# its entry with nothing below it.
has_children = {p.rsplit("/", 1)[0] for p, *_ in fls if "/" in p}
problems, checked_deleted, whole_long_names = [], 0, 0
for path, is_dir, deleted, size in fls:
    if is_dir and deleted and path not in has_children:
        continue
    got = ours.get(path)
    if got is None:
        problems.append(f"missing: {path!r}")
        continue
    if got["directory"] != is_dir:
        problems.append(f"kind differs: {path!r}")
    if deleted and not got["deleted"]:
        problems.append(f"not marked deleted: {path!r}")
    if not is_dir and got["size"] != size:
        problems.append(f"size differs: {path!r}: {got['size']} vs {size}")
    if deleted and not is_dir:
        checked_deleted += 1
        whole_long_names += not path.rsplit("/", 1)[-1].startswith("_")
if checked_deleted < 10 or whole_long_names < 8:
    problems.append(f"only {checked_deleted} deleted files compared, {whole_long_names} of them by long name")
for p in problems:
    print(f"{label}: {p}")
print(f"{label}: {len(fls)} fls entries, {checked_deleted} deleted files compared "
      f"({whole_long_names} long names), {len(problems)} problems")
sys.exit(1 if problems else 0)
PY
}

status=0
truncate -s 1440K "$work/f12.img"; mkfs.fat -C "$work/f12.img.tmp" 1440 >/dev/null; mv "$work/f12.img.tmp" "$work/f12.img"
truncate -s 32M "$work/f16.img"; mkfs.fat -F 16 -n LABELLED "$work/f16.img" >/dev/null
truncate -s 64M "$work/f32.img"; mkfs.fat -F 32 "$work/f32.img" >/dev/null
for w in 12 16 32; do
    fill "$work/f$w.img"
    compare "$work/f$w.img" "FAT$w" || status=1
    grep -q "FAT$w" <("$qvr" --log "$work/d.log" scan "$work/f$w.img" 2>&1 | head -1) || { echo "FAT$w: not recognised"; status=1; }
done
# Sectors of 4096 bytes, mapped onto the drive's 512-byte sectors.
truncate -s 64M "$work/s4k.img"; mkfs.fat -S 4096 -F 16 "$work/s4k.img" >/dev/null
fill "$work/s4k.img"
compare "$work/s4k.img" "FAT16-4K" || status=1
exit $status

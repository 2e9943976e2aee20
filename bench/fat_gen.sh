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

# The local tree and the fifth of it to delete.
python3 "$(dirname "$0")/make_tree.py" "$SRC/tree" "$ENTRIES" "$SRC/deleted-files" "$SRC/deleted-folders" "::/"

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

#!/bin/bash
# Makes an exFAT volume image with ENTRIES files and folders (default 50,000), the same
# tree as the FAT32 benchmark's, written through exfat-fuse, then deletes about a fifth
# of them (single files here and there, and whole folders). The kernel has no exfat
# driver and exfat-fuse wants a block device, so the image is mounted through a loop
# device (needs root and /dev/fuse).
#   bench/exfat_gen.sh IMAGE [ENTRIES]
set -euo pipefail
IMG=${1:?image path}
ENTRIES=${2:-50000}
export LC_ALL=C.UTF-8
for tool in mkfs.exfat mount.exfat-fuse losetup python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
SRC=$(mktemp -d)
MNT="$SRC/m"
LOOP=""
cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then umount "$MNT" || true; fi
    if [ -n "$LOOP" ]; then losetup -d "$LOOP" || true; fi
    rm -rf "$SRC"
}
trap cleanup EXIT

python3 "$(dirname "$0")/make_tree.py" "$SRC/tree" "$ENTRIES" "$SRC/deleted-files" "$SRC/deleted-folders"

# Room for every file's clusters, with 4 KiB clusters.
SIZE_MB=$(( ENTRIES * 5 / 1024 + 80 ))
rm -f "$IMG"
truncate -s "${SIZE_MB}M" "$IMG"
mkfs.exfat -c 4K -L BENCH "$IMG" >/dev/null
LOOP=$(losetup -f --show "$IMG")
mkdir -p "$MNT"
mount.exfat-fuse "$LOOP" "$MNT" 2>/dev/null
cp -r "$SRC/tree"/. "$MNT"/
(cd "$MNT" && xargs -0 -n 500 rm -f <"$SRC/deleted-files" && xargs -0 -n 50 rm -rf <"$SRC/deleted-folders")
umount "$MNT"
losetup -d "$LOOP"
LOOP=""
echo "$IMG: $ENTRIES entries, ${SIZE_MB} MiB"

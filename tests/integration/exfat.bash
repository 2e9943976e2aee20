# exFAT volumes for the integration scripts, sourced after common.bash. The kernel here
# has no exfat driver (a loop mount fails with "unknown filesystem type 'exfat'"), and
# exfat-fuse run as root wants a block device ("Block device required" for an image
# file), so the image is attached to a loop device and that device is mounted through
# FUSE. Needs root, /dev/fuse and a free loop device; exfatprogs makes the volumes.
for tool in mkfs.exfat mount.exfat-fuse losetup fls icat python3; do
  command -v "$tool" >/dev/null || fail "missing $tool"
done
exfat_loop=""
cleanup_more() {
  if [ -n "$exfat_loop" ]; then losetup -d "$exfat_loop" || true; fi
}
exfat_mount() {  # image
  exfat_loop=$(losetup -f --show "$1")
  mkdir -p "$mnt"
  mount.exfat-fuse "$exfat_loop" "$mnt" 2>/dev/null || fail "exfat-fuse could not mount $1"
}
exfat_umount() {
  umount "$mnt"
  losetup -d "$exfat_loop"
  exfat_loop=""
}
# Deleted files as the oracle sees them: "inode<TAB>path", one per line.
tsk_deleted_files() {
  fls -r -p -F "$1" | awk -F'\t' '/^r\/r \* / { split($1, a, " "); sub(":", "", a[3]); print a[3] "\t" $2 }'
}

# The shared start of the integration scripts, sourced with the folder of the built
# binaries as $1. Gives qvr, a work folder removed at exit (mnt inside it unmounted
# first, then whatever the script's cleanup_more does), the operations log path, fail,
# and keeps the program's state and profile inside the work folder.
set -euo pipefail
bin=${1:?folder of the built binaries}
qvr="$bin/qvr"
work=$(mktemp -d)
mnt="$work/m"
log="$work/qvr.log"
cleanup_more() { :; }
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || fusermount -u "$mnt" || true; fi
  cleanup_more || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }
# A new NTFS image of SIZE made by mkntfs (OPTIONS passed on) and mounted with ntfs-3g
# on $mnt; sets img.
new_ntfs() {
  local size=$1
  shift
  img="$work/v.img"
  rm -f "$img"
  truncate -s "$size" "$img"
  mkntfs -q -F -f "$@" "$img" >/dev/null 2>&1 || fail "mkntfs $*"
  mkdir -p "$mnt"
  ntfs-3g "$img" "$mnt"
}
# The partitions qvr lists for a disk (as drive P:), and those mmls lists, as
# "start length" lines in table order.
qvr_partitions() {  # disk
  QUENVAR_DRIVES="P=$1" "$qvr" --log "$log" drives --json | python3 -c '
import json, sys
for d in json.load(sys.stdin):
    p = d.get("partition")
    if p and p["disk"] == "P:":
        print(p["startSector"], p["sectors"])'
}
mmls_partitions() {  # disk
  mmls "$1" | awk '$2 ~ /^[0-9]+(:[0-9]+)?$/ && $0 !~ /Extended|Protective|Safety/ { print $3 + 0, $5 + 0 }'
}

#!/usr/bin/env bash
# Volumes of other geometries made by mkntfs: 64 KiB clusters, 4,096-byte sectors (and so
# 4,096-byte file records), and both with 8 KiB clusters. Each holds live and deleted
# files and folders; every entry fls lists must be in the scan with its state, and file
# data must equal icat's. (mkntfs makes no clusters above 64 KiB; the 2 MiB encoding of
# the sectors-per-cluster byte is covered by the unit tests.)
source "$(dirname "$0")/common.bash" "$@"

populate() {
  mkdir -p "$mnt/docs/sub" "$mnt/old/inner"
  echo "a resident letter" > "$mnt/docs/keep.txt"
  head -c 300000 /dev/urandom > "$mnt/docs/sub/big.bin"
  for i in $(seq 40); do head -c $((i * 997)) /dev/urandom > "$mnt/docs/f$i.dat"; done
  echo "in a deleted folder" > "$mnt/old/inner/note.txt"
  head -c 90000 /dev/urandom > "$mnt/old/data.bin"
  head -c 70000 /dev/urandom > "$mnt/docs/deleted.bin"
  rm "$mnt/docs/deleted.bin" "$mnt/docs/f7.dat"
  rm -r "$mnt/old"
}

for opts in "-c 65536" "-s 4096" "-s 4096 -c 8192"; do
  echo "== mkntfs $opts"
  # shellcheck disable=SC2086
  new_ntfs 128M $opts
  populate
  umount "$mnt"
  python3 "$(dirname "$0")/ntfs_compare.py" "$qvr" "$img" "$work" || fail "mkntfs $opts differs from fls/icat"
  # Deleted entries must be there as deleted, not only the live tree.
  "$qvr" --log "$work/scan.log" scan "$img" --json --deleted-only > "$work/deleted.json"
  python3 - "$work/deleted.json" <<'PY' || fail "mkntfs $opts: deleted entries missing"
import json, sys
paths = {e["path"] for e in json.load(open(sys.argv[1]))["entries"] if e["deleted"]}
want = {"/old", "/old/inner", "/old/inner/note.txt", "/old/data.bin", "/docs/deleted.bin", "/docs/f7.dat"}
missing = want - paths
sys.exit(f"missing: {sorted(missing)}" if missing else 0)
PY
done

# A volume whose $MFT cannot be located (no cluster size) is a failed scan with the
# error line, never an empty volume scanned with success.
printf '\000' | dd of="$img" bs=1 seek=13 conv=notrunc 2>/dev/null
if "$qvr" --log "$work/broken.log" scan "$img" > /dev/null 2>&1; then fail "an unprepared volume scanned with success"; fi
grep -q "ERROR  | PrepareDirectoryTree() returns -" "$work/broken.log" || fail "no error line for the unprepared volume"

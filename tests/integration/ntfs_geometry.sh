#!/usr/bin/env bash
# Volumes of other geometries made by mkntfs: 64 KiB clusters, 4,096-byte sectors (and so
# 4,096-byte file records), and both with 8 KiB clusters. Each holds live and deleted
# files and folders; every entry fls lists must be in the scan with its state, and file
# data must equal icat's. 2 MiB clusters (the sectors-per-cluster byte's power-of-two
# form, 0xF4) are beyond fls: that volume is checked against its own ntfs-3g mount.
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

echo "== mkntfs -c 2097152"
new_ntfs 128M -c 2097152
populate
(cd "$mnt" && find . -mindepth 1 | sed 's|^\.||' | sort) > "$work/mounted.txt"
rm -rf "$work/copy" && cp -r "$mnt" "$work/copy"
umount "$mnt"
"$qvr" --log "$work/scan.log" scan "$img" --json > "$work/c2m.json" || fail "2 MiB clusters: scan failed"
python3 - "$work/c2m.json" "$work/mounted.txt" > "$work/c2m.keys" <<'PY' || fail "2 MiB clusters: tree differs from the mount"
import json, sys
entries = json.load(open(sys.argv[1]))["entries"]
live = {e["path"]: e for e in entries if not e["deleted"] and not e["path"].startswith("/$")}
deleted = {e["path"] for e in entries if e["deleted"]}
mounted = set(open(sys.argv[2]).read().split())
want_deleted = {"/old", "/old/inner", "/old/inner/note.txt", "/old/data.bin", "/docs/deleted.bin", "/docs/f7.dat"}
problems = sorted(mounted ^ set(live)) + sorted(want_deleted - deleted)
if problems:
    sys.exit(f"differs: {problems}")
for path, e in live.items():
    if not e["directory"]:
        print(e["key"], path)
PY
while read -r key path; do
  "$qvr" --log "$work/cat.log" cat "$img" "$key" > "$work/data" || fail "2 MiB clusters: qvr cat $path"
  cmp -s "$work/data" "$work/copy$path" || fail "2 MiB clusters: $path differs from the mounted file"
done < "$work/c2m.keys"
[ -s "$work/c2m.keys" ] || fail "2 MiB clusters: no files compared"
echo "$(wc -l < "$work/c2m.keys") files equal to the mounted copies"

# A volume whose $MFT cannot be located (no cluster size) is a failed scan with the
# error line, never an empty volume scanned with success.
printf '\000' | dd of="$img" bs=1 seek=13 conv=notrunc 2>/dev/null
if "$qvr" --log "$work/broken.log" scan "$img" > /dev/null 2>&1; then fail "an unprepared volume scanned with success"; fi
grep -q "ERROR  | PrepareDirectoryTree() returns -" "$work/broken.log" || fail "no error line for the unprepared volume"

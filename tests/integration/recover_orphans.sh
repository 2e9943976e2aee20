#!/usr/bin/env bash
# Files whose folder's MFT record is destroyed: without --orphans the scan leaves them out;
# with it they sit in "$$folder_<record>" and qvr recover writes them equal to icat's data.
source "$(dirname "$0")/common.bash" "$@"

img="$work/v.img"
truncate -s 16M "$img"
mkntfs -q -F -f "$img" >/dev/null 2>&1
mkdir "$mnt"
ntfs-3g "$img" "$mnt"
mkdir "$mnt/d"
for i in 1 2 3; do head -c $((i * 3000)) /dev/urandom > "$mnt/d/f$i.bin"; done
folder=$(stat -c %i "$mnt/d")
rm -r "$mnt/d"
umount "$mnt"

# The folder's record is wiped, as a damaged disk may leave it.
python3 - "$img" "$folder" <<'PY'
import struct, sys
img, record = sys.argv[1], int(sys.argv[2])
with open(img, "r+b") as f:
    boot = f.read(512)
    cluster = struct.unpack_from("<H", boot, 11)[0] * boot[13]
    f.seek(struct.unpack_from("<Q", boot, 48)[0] * cluster + record * 1024)
    f.write(bytes(1024))
PY

"$qvr" --log "$log" scan "$img" > "$work/plain.txt" || fail "scan exited $?"
grep -q "f1.bin" "$work/plain.txt" && fail "an orphan was listed without --orphans"
if "$qvr" --log "$log" recover "$img" "/\$\$folder_$folder/f1.bin" --to "$work" --overwrite skip \
     > "$work/out" 2>&1; then
  fail "an orphan was found without --orphans"
fi

"$qvr" --log "$log" scan "$img" --orphans --json > "$work/scan.json" || fail "scan --orphans exited $?"
mkdir "$work/out.d"
"$qvr" --log "$log" recover "$img" "/\$\$folder_$folder" --to "$work/out.d" --orphans > "$work/out" 2>&1 \
  || fail "recover --orphans exited $?: $(cat "$work/out")"
grep -q "was successfully recovered: 3 files" "$work/out" || fail "result message: $(cat "$work/out")"
python3 - "$work/scan.json" "$folder" <<'PY' > "$work/keys"
import json, sys
doc, folder = json.load(open(sys.argv[1])), sys.argv[2]
for e in doc["entries"]:
    if e["path"].startswith(f"/$$folder_{folder}/"):
        print(e["key"], e["path"].rsplit("/", 1)[1])
PY
[ "$(wc -l < "$work/keys")" -eq 3 ] || fail "orphans in the scan: $(cat "$work/keys")"
while read -r key name; do
  icat "$img" "$key" | cmp -s - "$work/out.d/\$\$folder_$folder/$name" || fail "$name differs from icat"
done < "$work/keys"
echo "orphans of a wiped folder record recovered"

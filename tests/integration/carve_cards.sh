#!/usr/bin/env bash
# qvr carve on media made as users make them: a FAT32 and an exFAT card filled with photos
# and videos, some deleted, then quick-formatted; the same files on a drive without a file
# system, back to back and with garbage between; an NTFS volume whose deleted photos' MFT
# records were reused. Every file comes back whole and byte for byte, and nothing else is
# called whole.
source "$(dirname "$0")/common.bash" "$@"
source "$(dirname "$0")/carve_media.bash"

media="$work/media"
make_carve_media "$media"
files=("$media"/*)

carve_and_check() {  # name image manifest [qvr carve options]
  local name=$1 img=$2 manifest=$3; shift 3
  local out="$work/found-$name"
  "$qvr" --log "$log" carve "$img" --json --to "$out" "$@" > "$work/$name.json" || fail "$name: qvr carve failed"
  echo "$name:"
  check_carve_found "$manifest" "$out" "$work/$name.json" || fail "$name: the search missed or misjudged files"
}

# FAT32 card: copied into DCIM, three deleted, then a quick format over it.
img="$work/fat32.img"
truncate -s 64M "$img"
mkfs.fat -F 32 -s 1 "$img" >/dev/null
mmd -i "$img" ::/DCIM ::/DCIM/100TEST
for f in "${files[@]}"; do mcopy -i "$img" "$f" "::/DCIM/100TEST/$(basename "$f")"; done
mdel -i "$img" ::/DCIM/100TEST/IMG_0002.JPG ::/DCIM/100TEST/VID_0001.mp4 ::/DCIM/100TEST/scan.tif
mkfs.fat -F 32 -s 1 "$img" >/dev/null
carve_and_check fat32 "$img" "$media.manifest"
# A photo found takes the time it was taken (IMG_0003: 2023-05-03 10:13:00 local time).
taken=$(python3 -c 'import json,sys; print([f["name"] for f in json.load(open(sys.argv[1]))["files"] if f.get("date_taken") == "2023:05:03 10:13:00"][0])' "$work/fat32.json")
[ "$(date -r "$work/found-fat32/JPEG image/$taken" '+%Y-%m-%d %H:%M:%S')" = "2023-05-03 10:13:00" ] ||
  fail "fat32: $taken does not carry the time it was taken"

# exFAT card, the same way.
if [ -e /dev/fuse ] && command -v mount.exfat-fuse >/dev/null && [ "$(id -u)" -eq 0 ]; then
  source "$(dirname "$0")/exfat.bash" "$bin"
  img="$work/exfat.img"
  truncate -s 96M "$img"
  mkfs.exfat "$img" >/dev/null
  exfat_mount "$img"
  mkdir -p "$mnt/DCIM/100TEST"
  cp "${files[@]}" "$mnt/DCIM/100TEST/"
  rm "$mnt/DCIM/100TEST/IMG_0005.JPG" "$mnt/DCIM/100TEST/MVI_0002.MOV"
  exfat_umount
  mkfs.exfat "$img" >/dev/null
  carve_and_check exfat "$img" "$media.manifest"
else
  echo "exFAT card skipped: needs root, /dev/fuse and exfat-fuse"
fi

# No file system: the files back to back from sector 0, then each after random garbage
# of a few sectors.
img="$work/raw.img"
: > "$img"
for f in "${files[@]}"; do
  cat "$f" >> "$img"
  pad=$(( (512 - $(stat -c %s "$img") % 512) % 512 ))
  head -c "$pad" /dev/zero >> "$img"
done
i=0
for f in "${files[@]}"; do
  i=$((i + 1))
  head -c $(( 512 * (i % 5 + 1) )) /dev/urandom >> "$img"
  cat "$f" >> "$img"
  pad=$(( (512 - $(stat -c %s "$img") % 512) % 512 ))
  head -c "$pad" /dev/urandom >> "$img"
done
# Each file is there twice; the manifest counts it once.
carve_and_check raw "$img" "$media.manifest"
found=$(python3 -c 'import json,sys; print(sum(f["whole"] for f in json.load(open(sys.argv[1]))["files"]))' "$work/raw.json")
[ "$found" -eq $(( 2 * ${#files[@]} )) ] || fail "raw: $found whole files found, expected $(( 2 * ${#files[@]} ))"

# NTFS: the photos deleted and their MFT records taken by new small files; only the
# deleted photos are in the free clusters.
if command -v mkntfs >/dev/null && [ -e /dev/fuse ] && [ "$(id -u)" -eq 0 ]; then
  new_ntfs 64M
  mkdir "$mnt/photos"
  cp "$media"/IMG_000*.JPG "$mnt/photos/"
  cp "$media/VID_0001.mp4" "$mnt/"
  sync
  rm "$mnt"/photos/*
  for n in $(seq 1 12); do echo "note $n" > "$mnt/note$n.txt"; done
  umount "$mnt"
  # The volume may give a deleted photo's clusters to its own files (the MFT grows): the
  # photos expected are those whose bytes still stand whole from a sector start.
  grep 'IMG_000' "$media.manifest" | python3 -c '
import sys
img = open(sys.argv[1], "rb").read()
kept = 0
for line in sys.stdin:
    name = line.rstrip("\n").split("  ", 2)[2]
    data = open(sys.argv[2] + "/" + name, "rb").read()
    at = img.find(data[:4096])
    while at >= 0 and (at % 512 or img[at:at + len(data)] != data):
        at = img.find(data[:4096], at + 1)
    if at >= 0:
        sys.stdout.write(line); kept += 1
sys.exit(0 if kept >= 5 else 1)' "$img" "$media" > "$work/ntfs.manifest" || fail "ntfs: the volume kept too few deleted photos"
  carve_and_check ntfs "$img" "$work/ntfs.manifest" --types jpg
  # The live file's clusters are not searched; with --all-clusters they are.
  "$qvr" --log "$log" carve "$img" --json --types mp4 > "$work/free.json"
  "$qvr" --log "$log" carve "$img" --json --types mp4 --all-clusters > "$work/all.json"
  python3 - "$work/free.json" "$work/all.json" <<'PY' || fail "--all-clusters"
import json, sys
free, every = (json.load(open(p)) for p in sys.argv[1:3])
assert free["searched"] == "free clusters" and every["searched"] == "every sector", (free["searched"], every["searched"])
assert not [f for f in free["files"] if f["whole"]], "the live video was found in free clusters"
assert [f for f in every["files"] if f["whole"]], "the live video was not found with --all-clusters"
PY
else
  echo "NTFS volume skipped: needs root, /dev/fuse and ntfs-3g"
fi

# 256 MiB of random bytes hold no file: nothing is called whole, and the few header
# look-alikes are counted.
head -c 256M /dev/urandom > "$work/noise.img"
"$qvr" --log "$log" carve "$work/noise.img" --json > "$work/noise.json" || fail "noise: qvr carve failed"
python3 - "$work/noise.json" <<'PY' || fail "noise: files called whole in random bytes"
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["bytes_searched"] == 256 << 20, doc["bytes_searched"]
print(f"noise: {len(doc['files'])} damaged look-alikes in 256 MiB of random bytes")
assert not [f for f in doc["files"] if f["whole"]]
assert len(doc["files"]) < 16
PY
rm -f "$work/noise.img"
echo "ok"

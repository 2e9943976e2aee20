#!/bin/bash
# The search by content against reading the image with cat and against photorec (batch
# mode, the same types) on one quick-formatted FAT32 card full of photos and videos:
# MB/s from the page cache, files found, and how many of them are byte for byte a file
# that was put on the card.
#   bench/carve_bench.sh BIN_DIR [SIZE] [IMAGE]
# SIZE defaults to 4G; IMAGE (a card made before, with IMAGE.manifest beside it) skips
# making one. REPEAT (default 3) runs of cat and qvr after a warm-up; the median is shown.
set -euo pipefail
BIN=$(realpath "${1:?folder holding qvr}")
SIZE=${2:-4G}
IMG=${3:-}
REPEAT=${REPEAT:-3}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for tool in photorec mkfs.fat mcopy python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$HERE/../tests/integration/carve_media.bash"
export MTOOLS_SKIP_CHECK=1 XDG_STATE_HOME="$WORK/state" XDG_CONFIG_HOME="$WORK/config" XDG_CACHE_HOME="$WORK/cache"

if [ -z "$IMG" ]; then
  IMG="$WORK/card.img"
  echo "making a $SIZE FAT32 card of photos and videos..."
  make_carve_media "$WORK/media" 2
  truncate -s "$SIZE" "$IMG"
  mkfs.fat -F 32 -s 8 "$IMG" >/dev/null
  mmd -i "$IMG" ::/DCIM
  bytes=$(stat -c %s "$IMG")
  set -- "$WORK"/media/*
  n=0 used=0 per=$(cat "$@" | wc -c)
  : > "$IMG.manifest"
  # Copies of the set, each made different by a new EXIF date on its photos, until the
  # card is nine tenths full; one copy in three deleted before the format.
  while [ $((used + per)) -lt $((bytes * 9 / 10)) ]; do
    n=$((n + 1))
    dir="$WORK/set$n"
    mkdir -p "$dir"
    cp "$@" "$dir/"
    for f in "$dir"/*.JPG; do exiv2 -M"set Exif.Photo.DateTimeOriginal 2024:01:01 00:00:$((n % 60))" -M"set Exif.Image.Artist copy $n" "$f"; done
    mmd -i "$IMG" "::/DCIM/$((100 + n))TEST"
    mcopy -i "$IMG" "$dir"/* "::/DCIM/$((100 + n))TEST/"
    (cd "$dir" && for f in *; do printf '%s  %s  %s\n' "$(sha256sum < "$f" | cut -c1-64)" "$(stat -c %s "$f")" "set$n/$f"; done) >> "$IMG.manifest"
    [ $((n % 3)) -eq 0 ] && mdeltree -i "$IMG" "::/DCIM/$((100 + n))TEST"
    rm -rf "$dir"
    used=$((used + per))
  done
  mkfs.fat -F 32 -s 8 "$IMG" >/dev/null
fi
MB=$(( $(stat -c %s "$IMG") / 1000000 ))
echo "image: $MB MB, $(wc -l < "$IMG.manifest") files put on it"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() { /usr/bin/time -f '%e' -o "$WORK/time" "$@" >/dev/null 2>&1 || true; tail -n 1 "$WORK/time"; }
cat "$IMG" > /dev/null
cat_s=$(for i in $(seq "$REPEAT"); do timed cat "$IMG"; done | median)
"$BIN/qvr" carve "$IMG" --json > "$WORK/qvr.json"
qvr_s=$(for i in $(seq "$REPEAT"); do timed "$BIN/qvr" carve "$IMG" --json; done | median)

rm -rf "$WORK/pr"
mkdir -p "$WORK/pr"
# photorec writes its log and session files into the folder it runs in.
pr_s=$(cd "$WORK" && timed photorec /log /d "$WORK/pr/r" /cmd "$IMG" \
  partition_none,fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable,mov,enable,riff,enable,search)

python3 - "$IMG" "$IMG.manifest" "$WORK/qvr.json" "$WORK/pr" "$MB" "$cat_s" "$qvr_s" "$pr_s" <<'PY'
import hashlib, json, os, sys
img, manifest, listing, prdir, mb, cat_s, qvr_s, pr_s = sys.argv[1:9]
mb, cat_s, qvr_s, pr_s = int(mb), float(cat_s), float(qvr_s), float(pr_s)
want = {l.split("  ")[0] for l in open(manifest)}
doc = json.load(open(listing))
exact = 0
with open(img, "rb") as f:
    for x in doc["files"]:
        f.seek(x["offset"])
        h = hashlib.sha256()
        left = x["size"]
        while left:
            b = f.read(min(left, 1 << 20)); h.update(b); left -= len(b)
            if not b: break
        exact += h.hexdigest() in want
whole = sum(x["whole"] for x in doc["files"])
pr_files = pr_exact = 0
for root, _, names in os.walk(prdir):
    for n in names:
        if n == "report.xml": continue
        pr_files += 1
        pr_exact += hashlib.sha256(open(os.path.join(root, n), "rb").read()).hexdigest() in want
print(f"{'':10} {'seconds':>8} {'MB/s':>8} {'files':>6} {'exact':>6}  ({len(want)} distinct contents on the card)")
print(f"{'cat':10} {cat_s:8.2f} {mb / cat_s if cat_s else 0:8.0f}")
print(f"{'qvr carve':10} {qvr_s:8.2f} {mb / qvr_s if qvr_s else 0:8.0f} {len(doc['files']):6} {exact:6}  ({whole} called whole)")
print(f"{'photorec':10} {pr_s:8.2f} {mb / pr_s if pr_s else 0:8.0f} {pr_files:6} {pr_exact:6}")
PY

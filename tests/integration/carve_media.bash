# Photos and videos as cameras and phones write them, for the search-by-content tests and
# benchmark: JPEG with EXIF dates (exiv2), PNG, GIF, BMP, TIFF, WebP, HEIC (ImageMagick)
# and MP4, MOV, AVI, 3GP (ffmpeg). make_carve_media FOLDER [SCALE] writes them and a
# manifest "sha256  size  name" as FOLDER.manifest; SCALE multiplies the picture sizes.
for tool in convert ffmpeg exiv2 sha256sum; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"; exit 0; }
done
# A real ImageMagick, not a stand-in that draws only a few formats.
[ -x /usr/bin/convert ] || { echo "SKIP: ImageMagick is missing"; exit 0; }

make_carve_media() {
  local dir=$1 scale=${2:-1} i
  mkdir -p "$dir"
  for i in 1 2 3 4 5 6; do
    local w=$(( (400 + i * 160) * scale )) h=$(( (300 + i * 120) * scale ))
    convert -seed "$i" -size "${w}x${h}" plasma:fractal -quality $((70 + i * 4)) "$dir/IMG_000$i.JPG"
    exiv2 -M"set Exif.Image.Make Quenvar" -M"set Exif.Photo.DateTimeOriginal 2023:05:0$i 10:1$i:00" "$dir/IMG_000$i.JPG"
  done
  convert -seed 11 -size $((640 * scale))x$((480 * scale)) plasma:fractal -interlace Plane "$dir/IMG_0007.JPG"
  convert -seed 12 -size 320x240 plasma:fractal -depth 8 "$dir/screen.png"
  convert -seed 13 -size 200x150 plasma:fractal -colors 128 "$dir/anim.gif"
  convert -seed 14 -size 300x200 plasma:fractal -type TrueColor BMP3:"$dir/scan.bmp"
  convert -seed 15 -size 400x300 plasma:fractal -compress lzw "$dir/scan.tif"
  convert -seed 16 -size 640x480 plasma:fractal -quality 80 "$dir/phone.webp"
  convert -seed 17 -size 512x384 plasma:fractal -quality 60 "$dir/phone.heic"
  ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=$((320 * scale))x240:rate=25" -f lavfi -i sine=frequency=440 \
    -t 4 -c:v libx264 -pix_fmt yuv420p -c:a aac "$dir/VID_0001.mp4"
  ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25 -t 3 -c:v mjpeg "$dir/MVI_0002.MOV"
  ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=15 -t 3 -c:v mjpeg "$dir/CLIP0003.AVI"
  ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=15 -t 3 -c:v mpeg4 "$dir/VID_0004.3gp"
  (cd "$dir" && for f in *; do printf '%s  %s  %s\n' "$(sha256sum < "$f" | cut -c1-64)" "$(stat -c %s "$f")" "$f"; done) \
    > "$dir.manifest"
}

# check_carve_found MANIFEST FOUND_DIR JSON: every file of the manifest is among the whole
# files written, byte for byte, and every file called whole is one of the manifest's.
check_carve_found() {
  local manifest=$1 found=$2 json=$3
  python3 - "$manifest" "$found" "$json" <<'PY'
import hashlib, json, os, sys
manifest, found, listing = sys.argv[1:4]
want = {}
for line in open(manifest):
    digest, size, name = line.rstrip("\n").split("  ", 2)
    want[digest] = name
doc = json.load(open(listing))
whole = {f["name"]: f for f in doc["files"] if f["whole"]}
got = {}
for root, _, files in os.walk(found):
    for n in files:
        got[n] = hashlib.sha256(open(os.path.join(root, n), "rb").read()).hexdigest()
bad = 0
for digest, name in want.items():
    if not any(got.get(n) == digest for n in whole):
        print(f"FAIL: {name} was not found whole"); bad += 1
for n in whole:
    if got.get(n) not in want:
        print(f"FAIL: {n} is called whole but is no file of the manifest"); bad += 1
print(f"{len(want)} files in the manifest, {len(whole)} found whole, {len(doc['files']) - len(whole)} damaged")
sys.exit(1 if bad else 0)
PY
}

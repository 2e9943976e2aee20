#!/usr/bin/env bash
# qvr scan --check-content: real files of each known type written to a FAT volume with
# mtools and deleted, two of them overwritten by a later file that took their clusters;
# and a compressed NTFS file checked from its first compression unit alone. Then
# qvr recover --report on both: the report's hashes against the written files and the
# originals, and its content checks against the scan's.
source "$(dirname "$0")/common.bash" "$@"

files="$work/files"
mkdir "$files"
python3 - "$files" <<'PY'
import gzip, io, os, sqlite3, struct, sys, wave, zipfile, zlib
d = sys.argv[1]
def put(name, data):
    open(os.path.join(d, name), "wb").write(data)
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
rows = b"".join(b"\0" + bytes((x * 7 + y) & 255 for x in range(48)) for y in range(32))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 32, 8, 2, 0, 0, 0)) \
      + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
put("picture.png", png)
put("over.png", png + os.urandom(3000))
def zipped(entries):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w", zipfile.ZIP_DEFLATED) as z:
        for n, t in entries: z.writestr(n, t)
    return b.getvalue()
put("archive.zip", zipped([("a.txt", "hello " * 500)]))
put("report.docx", zipped([("[Content_Types].xml", "<Types/>"), ("word/document.xml", "<w:document/>")]))
put("notes.odt", zipped([("mimetype", "application/vnd.oasis.opendocument.text")]))
put("data.gz", gzip.compress(b"compressible " * 1000))
con = sqlite3.connect(os.path.join(d, "store.sqlite"))
con.execute("create table t(a)"); con.executemany("insert into t values(?)", [(i,) for i in range(200)]); con.commit(); con.close()
w = wave.open(os.path.join(d, "sound.wav"), "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(bytes(4000)); w.close()
put("text.txt", ("A plain line of text, with some words in it.\n" * 200).encode())
put("over.txt", ("This text will be overwritten.\n" * 100).encode())
put("paper.pdf", b"%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n")
put("old.doc", b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504) + os.urandom(1024))
put("clip.avi", b"RIFF" + struct.pack("<I", 1012) + b"AVI LIST" + bytes(1000))
put("image.webp", b"RIFF" + struct.pack("<I", 1012) + b"WEBPVP8 " + bytes(1000))
put("song.mp3", b"ID3\x04\x00\x00\x00\x00\x00\x00" + b"\xff\xfb\x90\x64" + bytes(2000))
put("movie.mp4", struct.pack(">I", 24) + b"ftypisom" + bytes(12) + struct.pack(">I", 8) + b"mdat")
put("movie.mov", struct.pack(">I", 8) + b"wide" + struct.pack(">I", 8) + b"mdat")
put("pack.7z", b"7z\xbc\xaf\x27\x1c\x00\x04" + os.urandom(500))
put("pack.rar", b"Rar!\x1a\x07\x01\x00" + os.urandom(500))
put("photo.jpg", b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00" + os.urandom(2000) + b"\xff\xd9")
put("anim.gif", b"GIF89a\x01\x00\x01\x00\x00\x00\x00;")
put("fake.jpg", ("not a picture at all\n" * 50).encode())
put("mystery.xyz", os.urandom(700))
PY
# ImageMagick, when present, makes real pictures instead of the hand-written headers. Another
# program answering to the name convert (GraphicsMagick, a stand-in) may not draw these.
if convert -version 2>/dev/null | grep -q ImageMagick; then
  convert -size 40x30 gradient:red-blue "$files/photo.jpg"
  convert -size 40x30 xc:green "$files/anim.gif"
fi

img="$work/f.img"
truncate -s 16M "$img"
mkfs.fat -F 16 "$img" >/dev/null
# The two files to be overwritten go first, in a folder of their own (mtools reuses a
# deleted entry of the folder it writes to): the next file written takes their clusters.
mmd -i "$img" ::/old
mcopy -i "$img" "$files/over.png" "$files/over.txt" ::/old/
mmd -i "$img" ::/docs
for f in "$files"/*; do
  case ${f##*/} in over.*) ;; *) mcopy -i "$img" "$f" ::/docs/ ;; esac
done
mdel -i "$img" ::/old/over.png ::/old/over.txt
head -c 20000 /dev/urandom > "$work/filler.bin"
mcopy -i "$img" "$work/filler.bin" ::/filler.bin
mdeltree -i "$img" ::/docs

"$qvr" --log "$log" scan "$img" --json --check-content > "$work/scan.json" || fail "scan exited $?"
python3 - "$work/scan.json" <<'PY' || fail "content check verdicts"
import json, sys
expected = {"ver.png": "does not match", "ver.txt": "does not match", "ake.jpg": "does not match",
            "ystery.xyz": "unknown type"}
seen = {}
for e in json.load(open(sys.argv[1]))["entries"]:
    if e["deleted"] and not e["directory"]:
        # Short names lose their first letter to the deletion mark.
        seen[e["path"].rsplit("/", 1)[1][1:]] = e["content"]
    elif "content" in e and e["content"] is not None:
        sys.exit("a live entry or folder was checked: %s" % e["path"])
bad = [(n, v) for n, v in seen.items() if v != expected.get(n, "matches")]
if bad or len(seen) != 23: sys.exit("unexpected verdicts: %s (of %d)" % (bad, len(seen)))
PY
"$qvr" --log "$log" scan "$img" --deleted-only --check-content > "$work/scan.txt" || fail "text scan exited $?"
grep -Eq '^  _ound\.wav  deleted  .*  (Good|Average|Poor)  matches$' "$work/scan.txt" || fail "text column: $(cat "$work/scan.txt")"
grep -Eq '^  _ver\.png  deleted  .*  does not match$' "$work/scan.txt" || fail "text column for over.png"
if "$qvr" --log "$log" scan "$img" --json | grep -q '"content"'; then fail "content field without --check-content"; fi

out="$work/out"
mkdir "$out"
"$qvr" --log "$log" recover "$img" /_ocs /old --to "$out" --overwrite skip --report "$work/report.json" >/dev/null \
  || fail "recover --report exited $?"
python3 - "$work/report.json" "$work/scan.json" "$files" "$out" <<'PY' || fail "FAT report"
import hashlib, json, os, sys
report, scan, files, out = (json.load(open(sys.argv[1])), json.load(open(sys.argv[2])), sys.argv[3], sys.argv[4])
sha = lambda p: hashlib.sha256(open(p, "rb").read()).hexdigest()
content = {e["path"]: e.get("content") for e in scan["entries"]}
entries = report["files"]
if report["filesystem"] != "FAT16" or len(entries) != 23: sys.exit("header or count: %s" % report)
for e in entries:
    name = e["source"].rsplit("/", 1)[1]
    # Deleted short names lost their first letter.
    original = os.path.join(files, next(n for n in os.listdir(files) if n[1:] == name[1:]))
    if not e["written"].startswith(out + "/") or e["sha256"] != sha(e["written"]): sys.exit("hash of written file: %s" % e)
    overwritten = name[1:] in ("ver.png", "ver.txt")
    if e["size"] != os.path.getsize(e["written"]) or e["zero_filled"]: sys.exit(str(e))
    if e["damage"] != ("Poor" if overwritten else "Good"): sys.exit("damage word: %s" % e)
    if e["content"] != content[e["source"]]: sys.exit("content differs from the scan: %s" % e)
    # A file whose clusters were not reused comes back as it was written.
    if (e["sha256"] == sha(original)) == overwritten: sys.exit("hash against the original: %s" % e)
PY

# NTFS: compressed files, read from their first compression unit.
img="$work/v.img"
truncate -s 16M "$img"
mkntfs -q -F -f "$img" >/dev/null 2>&1 || fail "mkntfs"
mkdir -p "$mnt"
ntfs-3g -o compression "$img" "$mnt"
mkdir "$mnt/c"
setfattr -n system.ntfs_attrib_be -v 0x00000810 "$mnt/c"
python3 -c 'import sys; sys.stdout.write("compressible text line\n" * 130000)' > "$mnt/c/big.txt"
cp "$files/over.png" "$mnt/c/pic.png"
rm "$mnt/c/big.txt" "$mnt/c/pic.png"
umount "$mnt"
"$qvr" --log "$log" scan "$img" --json --check-content > "$work/ntfs.json" || fail "ntfs scan exited $?"
python3 - "$work/ntfs.json" <<'PY' || fail "compressed NTFS verdicts"
import json, sys
got = {e["path"]: e.get("content") for e in json.load(open(sys.argv[1]))["entries"] if e["deleted"]}
if got.get("/c/big.txt") != "matches" or got.get("/c/pic.png") != "matches": sys.exit(str(got))
PY
"$qvr" --log "$log" recover "$img" /c --to "$out" --overwrite skip --report "$work/ntfs-report.json" >/dev/null \
  || fail "ntfs recover --report exited $?"
python3 - "$work/ntfs-report.json" "$files/over.png" <<'PY' || fail "NTFS report"
import hashlib, json, sys
want = {"/c/big.txt": hashlib.sha256(b"compressible text line\n" * 130000).hexdigest(),
        "/c/pic.png": hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest()}
got = {e["source"]: (e["sha256"], e["content"]) for e in json.load(open(sys.argv[1]))["files"]}
if got != {k: (v, "matches") for k, v in want.items()}: sys.exit(str(got))
PY
echo "content checks: ok"

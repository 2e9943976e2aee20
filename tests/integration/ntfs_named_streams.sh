#!/usr/bin/env bash
# Named data streams of deleted NTFS files, written through ntfs-3g's stream interface:
# qvr scan --json lists them with size and damage, qvr recover --streams writes them
# beside the file as "file:stream" with the bytes icat gives for the attribute, as real
# streams on a destination that takes them and under the free-name fallback on one that
# refuses ':' (ntfs-3g with windows_names). Without --streams none is written.
source "$(dirname "$0")/common.bash" "$@"
src="$work/src"
mkdir "$src"
printf 'main data\n' > "$src/doc.txt"
printf 'small stream' > "$src/small"
head -c 20000 /dev/urandom > "$src/zone"
head -c 300000 /dev/urandom > "$src/big"
printf 'picture\n' > "$src/pic.bin"
printf 'non-ASCII name' > "$src/uni"

img="$work/v.img"
truncate -s 16M "$img"
mkntfs -q -F -f "$img" 2>/dev/null || fail mkntfs
mkdir "$mnt"
ntfs-3g -o streams_interface=windows "$img" "$mnt"
cp "$src/doc.txt" "$src/pic.bin" "$mnt/"
cp "$src/small" "$mnt/doc.txt:small"
cp "$src/zone" "$mnt/doc.txt:Zone.Identifier"
cp "$src/big" "$mnt/doc.txt:big"
cp "$src/uni" "$mnt/pic.bin:Ünïcödé"
rm "$mnt/doc.txt" "$mnt/pic.bin"
umount "$mnt"

"$qvr" --log "$log" scan --json "$img" > "$work/scan.json"
python3 - "$work/scan.json" <<'PY' || fail "scan --json streams"
import json, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
doc, pic = entries["/doc.txt"], entries["/pic.bin"]
assert doc["deleted"] and pic["deleted"]
got = {s["name"]: (s["size"], s["damage"]) for s in doc["streams"]}
assert got == {"small": (12, 0), "Zone.Identifier": (20000, 0), "big": (300000, 0)}, got
assert [s["name"] for s in pic["streams"]] == ["Ünïcödé"], pic
assert all("streams" not in e for p, e in entries.items() if p not in ("/doc.txt", "/pic.bin")), entries
PY

# The oracle: each stream's bytes as icat reads its attribute.
for f in doc.txt pic.bin; do
  inode=$(ifind -n "$f" "$img") || fail "ifind $f"
  istat "$img" "$inode" | python3 -c '
import re, sys
for line in sys.stdin:
    m = re.match(r"Type: \$DATA \(128-(\d+)\)\s+Name: (.*?)\s+(Non-)?Resident", line)
    if m and m.group(2) != "N/A": print(m.group(1), m.group(2))' |
    while read -r id name; do icat "$img" "$inode-128-$id" > "$work/icat-$f:$name"; done
done
[ -s "$work/icat-doc.txt:big" ] && [ -e "$work/icat-pic.bin:Ünïcödé" ] || fail "icat gave no streams: $(ls "$work")"

out="$work/plain"
mkdir "$out"
"$qvr" --log "$log" recover "$img" /doc.txt /pic.bin --to "$out" --streams > /dev/null || fail "recover --streams"
for s in doc.txt:small doc.txt:Zone.Identifier doc.txt:big pic.bin:Ünïcödé; do
  cmp "$out/$s" "$work/icat-$s" || fail "$s differs from icat"
done
cmp "$out/doc.txt" "$src/doc.txt" || fail "doc.txt"
grep -q "Named stream big of $out/doc.txt was written to $out/doc.txt:big" "$log" || fail "no log line"

none="$work/none"
mkdir "$none"
"$qvr" --log "$log" recover "$img" /doc.txt --to "$none" > /dev/null || fail "recover"
[ "$(ls "$none")" = doc.txt ] || fail "streams written without --streams: $(ls "$none")"

# Destinations on NTFS: real streams, and names with ':' refused.
dest="$work/d.img"
truncate -s 8M "$dest"
mkntfs -q -F -f "$dest" 2>/dev/null || fail "mkntfs destination"
ntfs-3g -o streams_interface=windows "$dest" "$mnt"
"$qvr" --log "$log" recover "$img" /doc.txt --to "$mnt" --streams > /dev/null || fail "recover to streams"
cmp "$mnt/doc.txt:big" "$work/icat-doc.txt:big" || fail "the stream on the destination differs"
[ "$(ls "$mnt")" = doc.txt ] || fail "streams became files: $(ls "$mnt")"
umount "$mnt"
ntfs-3g -o windows_names "$dest" "$mnt"
mkdir "$mnt/w"
: > "$log"
"$qvr" --log "$log" recover "$img" /doc.txt --to "$mnt/w" --streams > /dev/null || fail "recover to windows_names"
renamed=$(sed -n "s|.*Named stream small of $mnt/w/doc.txt was written to \(.*recovered_.*\) *$|\1|p" "$log" | tr -d ' ')
[ -n "$renamed" ] && cmp "$renamed" "$work/icat-doc.txt:small" || fail "no renamed stream: $(ls "$mnt/w"; cat "$log" | grep -i stream)"
umount "$mnt"
echo "named streams listed and recovered as icat reads them"

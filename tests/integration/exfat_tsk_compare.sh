#!/usr/bin/env bash
# Real exFAT volumes (512-byte, 4 KiB and 128 KiB clusters; 4096-byte sectors) made with
# mkfs.exfat and filled through exfat-fuse: long and non-ASCII names, contiguous and
# fragmented files, deleted files and folder trees, a file overwritten after deletion.
# `qvr scan --json` must list what The Sleuth Kit's `fls -r -p -l` lists, with the same
# path, kind, deleted mark and size; `qvr recover` must give every deleted file whose
# clusters are still free the bytes `icat -r` gives, with its modification time; the
# overwritten one must be "Poor".
source "$(dirname "$0")/common.bash" "$@"
source "$(dirname "$0")/exfat.bash"

src="$work/src"
mkdir -p "$src"
head -c 70000 /dev/urandom > "$src/medium"
head -c 1500000 /dev/urandom > "$src/large"
head -c 3000 /dev/urandom > "$src/small"
: > "$src/empty"
# An album grown in pieces: each photo's data lands between two clusters of the folder.
mkdir -p "$src/album"
for i in $(seq -w 1 60); do head -c $((1000 + 977 * 10#$i)) /dev/urandom > "$src/album/IMG_00$i.JPG"; done
long=$(printf 'a file name far longer than fifteen characters %.0s' 1 2 3 4)  # 188 characters

fill() {  # image
  exfat_mount "$1"
  local m=$mnt
  # The folder of fragmented files gets its entries before anything else takes a
  # cluster, so that the folder itself stays in consecutive clusters: fls reads an entry
  # set that straddles two clusters of a fragmented folder from the wrong cluster.
  mkdir "$m/frag"
  for i in $(seq 1 24); do : > "$m/frag/piece $i"; done
  mkdir -p "$m/docs/reports" "$m/Ünïcødé Ordner" "$m/trash/inner/deeper" "$m/keep" "$m/gone"
  # Deleted, then its clusters taken at once by a new file of the same size elsewhere (the
  # driver hands out the lowest free clusters, and a folder's freed entries to its next
  # new file, so nothing else is made in gone/).
  cp "$src/small" "$m/docs/before.txt"
  cp "$src/medium" "$m/gone/victim.bin"
  cp "$src/small" "$m/docs/after.txt"
  sync
  rm "$m/gone/victim.bin"
  cp "$src/medium" "$m/keep/newcomer.bin"
  cp "$src/small" "$m/readme.txt"
  cp "$src/medium" "$m/docs/$long.bin"
  cp "$src/small" "$m/Ünïcødé Ordner/Café résumé — 日本語.txt"
  cp "$src/large" "$m/docs/reports/Quarterly report 2023.xlsx"
  cp "$src/empty" "$m/docs/empty.dat"
  cp "$src/small" "$m/trash/a.txt"
  cp "$src/medium" "$m/trash/inner/b.bin"
  cp "$src/small" "$m/trash/inner/deeper/c.txt"
  cp "$src/small" "$m/keep/live.txt"
  mkdir "$m/album"
  for f in "$src"/album/*; do cp "$f" "$m/album/"; done
  # Fragmented files: holes left between live files, then files written into them.
  for i in $(seq 1 24); do cp "$src/small" "$m/frag/piece $i"; done
  for i in $(seq 1 2 24); do rm "$m/frag/piece $i"; done
  cp "$src/medium" "$m/frag/fragmented.bin"
  cp "$src/medium" "$m/frag/fragmented live.bin"
  sync
  rm "$m/readme.txt" "$m/docs/$long.bin" "$m/Ünïcødé Ordner/Café résumé — 日本語.txt" "$m/docs/empty.dat"
  rm "$m/docs/reports/Quarterly report 2023.xlsx" "$m/frag/fragmented.bin"
  rm -r "$m/trash" "$m/album"
  exfat_umount
}

compare() {  # image label
  local img=$1 label=$2
  "$qvr" --log "$log" scan "$img" --json > "$work/$label.json" || fail "$label: scan exited $?"
  "$qvr" --log "$log" scan "$img" > "$work/$label.scan" || fail "$label: scan exited $?"
  head -1 "$work/$label.scan" | grep -q ': exFAT$' || fail "$label: not named exFAT"
  fls -r -p -l "$img" > "$work/$label.fls"
  python3 - "$work/$label.json" "$work/$label.fls" "$label" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["filesystem"] == "exFAT", doc["filesystem"]
ours = {e["path"].lstrip("/"): e for e in doc["entries"]}
label, problems, seen, deleted_files = sys.argv[3], [], 0, 0
album = set()
for line in open(sys.argv[2], encoding="utf-8"):
    meta, _, rest = line.rstrip("\n").partition(":\t")
    fields = rest.split("\t")
    kind, deleted, path = meta.split()[0], "*" in meta, fields[0]
    # Virtual entries, the metadata files of the root and the label are not files; fls
    # lists entry sets it finds in free clusters under $OrphanFiles: those of the album's
    # later pieces must be in the album, the others a walk from the root does not reach.
    if path.startswith("$OrphanFiles/IMG_"):
        path = "album/" + path.split("/", 1)[1]
    if (kind.startswith(("v/", "V/")) or path in ("$ALLOC_BITMAP", "$UPCASE_TABLE") or "(Volume Label" in path
            or path.startswith("$OrphanFiles")):
        continue
    if path.startswith("album/"):
        album.add(path)
    seen += 1
    got = ours.get(path)
    if got is None:
        problems.append(f"missing: {path!r}")
        continue
    if got["directory"] != kind.startswith("d/"):
        problems.append(f"kind differs: {path!r}")
    if got["deleted"] != deleted:
        problems.append(f"deleted mark differs: {path!r}")
    if not got["directory"] and got["size"] != int(fields[5]):
        problems.append(f"size differs: {path!r}: {got['size']} vs {fields[5]}")
    deleted_files += deleted and not got["directory"]
# fls reads a set that straddles two pieces of the album from the wrong cluster and so
# misses some photos; every one must be listed here, with its size.
for i in range(1, 61):
    photo = ours.get(f"album/IMG_00{i:02d}.JPG")
    if not photo or not photo["deleted"] or photo["size"] != 1000 + 977 * i:
        problems.append(f"album photo {i} not listed right: {photo}")
    elif f"album/IMG_00{i:02d}.JPG" not in album:
        seen += 1
if len(ours) != seen:
    problems.append(f"{len(ours)} entries listed, fls lists {seen}")
if deleted_files < 10:
    problems.append(f"only {deleted_files} deleted files compared")
victim = ours.get("gone/victim.bin")
if not victim or victim["damage"] != 1.0:
    problems.append(f"overwritten victim.bin is not Poor: {victim}")
for p in problems:
    print(f"{label}: {p}")
print(f"{label}: {seen} fls entries, {deleted_files} deleted files, {len(problems)} problems")
sys.exit(1 if problems else 0)
PY
}

recover() {  # image label
  local img=$1 label=$2 out="$work/out-$2"
  mkdir "$out"
  "$qvr" --log "$log" recover "$img" / --to "$out" --overwrite skip > "$work/$label.txt" \
    || fail "$label: recover exited $?: $(cat "$work/$label.txt")"
  [ ! -e "$out/keep" ] || fail "$label: a live folder with nothing deleted was written"
  tsk_deleted_files "$img" | grep -v $'\t\$OrphanFiles/' > "$work/$label.tsk"
  # Files whose clusters are all free again read the same whichever way a tool walks
  # them; the others (damage above 0) are compared only for their presence.
  python3 - "$work/$label.json" "$work/$label.tsk" > "$work/$label.pairs" <<'PY' || fail "$label: pairing failed"
import json, sys, calendar, time
ours = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"] if e["deleted"] and not e["directory"]}
for line in open(sys.argv[2], encoding="utf-8"):
    inode, path = line.rstrip("\n").split("\t", 1)
    e = ours.get("/" + path)
    if e is None:
        sys.exit("qvr did not list /" + path)
    mtime = calendar.timegm(time.strptime(e["modified"], "%Y-%m-%dT%H:%M:%SZ"))
    print(f"{inode}\t{mtime}\t{1 if e['damage'] == 0 else 0}\t/{path}")
PY
  local count=0
  while IFS=$'\t' read -r inode mtime intact path; do
    [ -f "$out$path" ] || fail "$label: $path was not recovered"
    [ "$intact" = 1 ] || continue
    icat -r "$img" "$inode" > "$work/expected" || fail "$label: icat $inode"
    cmp -s "$work/expected" "$out$path" || fail "$label: $path differs from icat -r $inode"
    [ "$(stat -c %Y "$out$path")" = "$mtime" ] || fail "$label: $path has the wrong modification time"
    count=$((count + 1))
  done < "$work/$label.pairs"
  [ "$count" -ge 8 ] || fail "$label: only $count deleted files compared with icat"
  cmp -s "$src/large" "$out/docs/reports/Quarterly report 2023.xlsx" || fail "$label: the large file differs from its source"
  for f in "$src"/album/*; do
    cmp -s "$f" "$out/album/${f##*/}" || fail "$label: album/${f##*/} differs from its source"
  done
  echo "$label: $count recovered files equal to icat -r"
}

status=0
# The last volume has 4096-byte sectors: mkfs.exfat takes the sector size of the device
# it formats, here a loop device made with that sector size.
for volume in "c512:512:16M:512" "c4k:4K:32M:512" "c128k:128K:96M:512" "s4k:8K:48M:4096"; do
  IFS=: read -r label cluster size sector <<< "$volume"
  img="$work/$label.img"
  truncate -s "$size" "$img"
  exfat_loop=$(losetup --sector-size "$sector" -f --show "$img")
  mkfs.exfat -c "$cluster" "$exfat_loop" > /dev/null
  losetup -d "$exfat_loop"
  exfat_loop=""
  fill "$img"
  compare "$img" "$label" || status=1
  recover "$img" "$label"
done
exit $status

#!/usr/bin/env bash
# qvr recover on real FAT12, FAT16 and FAT32 volumes: every deleted file (short and whole
# long names, several clusters, empty, inside deleted folders) comes out byte-identical to
# what icat gives for it, with its modification time.
source "$(dirname "$0")/common.bash" "$@"

head -c 23456 /dev/urandom > "$work/medium.bin"
head -c 300000 /dev/urandom > "$work/large.bin"
echo "short text" > "$work/short.txt"
: > "$work/empty.txt"

make_volume() {  # image, mkfs arguments...
  local img=$1; shift
  mkfs.fat "$@" "$img" >/dev/null
  mmd -i "$img" ::/docs ::/docs/old ::/keep
  mcopy -i "$img" "$work/short.txt" ::/NOTE.TXT
  mcopy -i "$img" "$work/medium.bin" "::/docs/A long file name.bin"
  mcopy -i "$img" "$work/empty.txt" ::/docs/EMPTY.TXT
  mcopy -i "$img" "$work/short.txt" ::/docs/old/inside.txt
  mcopy -i "$img" "$work/medium.bin" ::/docs/old/MED.BIN
  mcopy -i "$img" "$work/short.txt" ::/keep/live.txt
  if [ "$(stat -c %s "$img")" -gt 2000000 ]; then mcopy -i "$img" "$work/large.bin" ::/docs/large.bin; fi
  mdel -i "$img" ::/NOTE.TXT "::/docs/A long file name.bin" ::/docs/EMPTY.TXT
  if [ "$(stat -c %s "$img")" -gt 2000000 ]; then mdel -i "$img" ::/docs/large.bin; fi
  mdeltree -i "$img" ::/docs/old
}

# Deleted files as the oracle sees them: "inode<TAB>path", one per line.
tsk_deleted() {
  fls -r -p -F "$1" | awk -F'\t' '/^r\/r \* / { split($1, a, " "); sub(":", "", a[3]); print a[3] "\t" $2 }'
}


total=0
for volume in "fat12:-F 12" "fat16:-F 16" "fat32:-F 32"; do
  name=${volume%%:*}; args=${volume#*:}
  img="$work/$name.img"
  case $name in
    fat12) truncate -s 1440K "$img"; make_volume "$img" $args ;;
    fat16) truncate -s 16M "$img"; make_volume "$img" $args ;;
    fat32) truncate -s 40M "$img"; make_volume "$img" $args ;;
  esac
  "$qvr" --log "$log" scan "$img" --json > "$work/$name.json" || fail "$name: scan exited $?"
  out="$work/out-$name"
  mkdir "$out"
  "$qvr" --log "$log" recover "$img" / --to "$out" --overwrite skip > "$work/$name.txt" \
    || fail "$name: recover exited $?: $(cat "$work/$name.txt")"
  [ ! -e "$out/keep" ] || fail "$name: a live folder with nothing deleted was written"

  tsk_deleted "$img" > "$work/$name.tsk"
  # Pair each deleted file of the oracle with qvr's entry of the same path.
  python3 - "$work/$name.json" "$work/$name.tsk" > "$work/$name.pairs" <<'PY' || fail "$name: pairing failed"
import json, sys, calendar, time
# Deleted long names are whole, as the oracle prints them; deleted 8.3 names begin with
# '_' on both sides.
ours = {}
for e in json.load(open(sys.argv[1]))["entries"]:
    if e["deleted"] and not e["directory"]:
        m = e["modified"]
        ours[e["path"]] = calendar.timegm(time.strptime(m, "%Y-%m-%dT%H:%M:%SZ")) if m else -1
for line in open(sys.argv[2]):
    inode, path = line.rstrip("\n").split("\t", 1)
    if "/" + path not in ours:
        sys.exit("qvr did not list /" + path)
    print("%s\t%s\t/%s" % (inode, ours["/" + path], path))
PY
  count=0
  while IFS=$'\t' read -r inode wanted_mtime path; do
    icat "$img" "$inode" > "$work/expected" || fail "$name: icat $inode"
    [ -f "$out$path" ] || fail "$name: $path was not recovered"
    cmp -s "$work/expected" "$out$path" || fail "$name: $path differs from icat $inode"
    got=$(stat -c %Y "$out$path")
    [ "$got" = "$wanted_mtime" ] || fail "$name: $path mtime $got, expected $wanted_mtime"
    count=$((count + 1))
  done < "$work/$name.pairs"
  [ "$count" -ge 5 ] || fail "$name: only $count deleted files compared"
  # The spelling older releases showed a deleted long name in still names it.
  mkdir "$out-old"
  "$qvr" --log "$log" recover "$img" "/docs/_ long file name.bin" --to "$out-old" > /dev/null 2> "$work/old.err" \
    || fail "$name: the old spelling was not accepted: $(cat "$work/old.err")"
  grep -q "old spelling" "$work/old.err" || fail "$name: no warning about the old spelling"
  cmp -s "$out/docs/A long file name.bin" "$out-old/A long file name.bin" || fail "$name: old spelling wrote other bytes"
  total=$((total + count))
done
echo "recovered and compared $total files"

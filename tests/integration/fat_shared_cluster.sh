#!/bin/bash
# A folder deleted with mtools and a new folder made elsewhere that takes its first
# cluster: both entries name the cluster. Met in either order, the live folder keeps it
# with its live file, and the deleted one is an empty deleted folder. The volume's only
# deleted item is then that empty folder: `qvr recover IMAGE /` says nothing deleted
# holds data and writes nothing.
source "$(dirname "$0")/common.bash" "$@"
echo gone > "$work/gone.txt"
echo live > "$work/live.txt"

for order in deleted-first live-first; do
    img="$work/$order.img"
    truncate -s 16M "$img"
    mkfs.fat -F 16 "$img" >/dev/null
    mmd -i "$img" ::/a ::/b
    if [ "$order" = deleted-first ]; then old=a new=b; else old=b new=a; fi
    mmd -i "$img" "::/$old/old"
    mcopy -i "$img" "$work/gone.txt" "::/$old/old/gone.txt"
    mdeltree -i "$img" "::/$old/old"
    mmd -i "$img" "::/$new/new"
    mcopy -i "$img" "$work/live.txt" "::/$new/new/live.txt"

    "$qvr" --log "$log" scan --json "$img" > "$work/scan.json"
    python3 - "$work/scan.json" "$old" "$new" "$order" <<'PY' || fail "$order: tree is wrong"
import json, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
old, new, order = sys.argv[2], sys.argv[3], sys.argv[4]
gone, kept = entries.get(f"/{old}/_ld"), entries.get(f"/{new}/new")
assert gone and kept, f"{order}: missing folders in {sorted(entries)}"
assert gone["key"] == kept["key"], f"{order}: mtools did not reuse the cluster ({gone['key']} vs {kept['key']})"
assert gone["deleted"] and not kept["deleted"], order
live = entries.get(f"/{new}/new/live.txt")
assert live and not live["deleted"], f"{order}: live.txt is {live}"
below = [p for p in entries if p.startswith(f"/{old}/_ld/")]
assert not below, f"{order}: the deleted folder still holds {below}"
PY
    # The oracle agrees that the file is live where it is.
    fls -r -p "$img" | grep -q "^r/r [0-9]*:	$new/new/live.txt$" || fail "$order: fls does not list live.txt as live"

    out="$work/out-$order"
    mkdir "$out"
    "$qvr" --log "$log" recover "$img" / --to "$out" > "$work/out" 2> "$work/err" \
        || fail "$order: recover / exited $?: $(cat "$work/err")"
    grep -q "nothing deleted on .* holds data" "$work/err" || fail "$order: message: $(cat "$work/err" "$work/out")"
    grep -q "not found" "$work/err" && fail "$order: '/' was reported as not found"
    [ -z "$(ls -A "$out")" ] || fail "$order: something was written: $(ls -R "$out")"
done
echo "a live folder keeps its cluster in both orders"

#!/usr/bin/env bash
# qvr drives and qvr scan on real FAT and NTFS images and on a file of zeros.
source "$(dirname "$0")/common.bash" "$@"

truncate -s 16M "$work/fat16.img"
mkfs.fat -F 16 "$work/fat16.img" >/dev/null
truncate -s 64M "$work/fat32.img"
mkfs.fat -F 32 "$work/fat32.img" >/dev/null
mkfs.fat -C "$work/floppy.img" 1440 >/dev/null
truncate -s 8M "$work/ntfs.img"
mkntfs -q -F -f "$work/ntfs.img" 2>/dev/null
head -c 1048576 /dev/zero > "$work/zeros.img"

for pair in fat16:FAT16 fat32:FAT32 floppy:FAT12 ntfs:NTFS; do
  img=${pair%%:*}; fs=${pair##*:}
  out=$("$qvr" --log "$work/scan.log" scan "$work/$img.img" --json) || fail "scan of $img exited $?"
  got=$(python3 -c 'import json,sys; print(json.load(sys.stdin)["filesystem"])' <<<"$out")
  [ "$got" = "$fs" ] || fail "$img: filesystem $got, expected $fs"
done

# A file of zeros: unknown file system, non-zero status, a message on stderr, still JSON.
set +e
out=$("$qvr" --log "$work/scan.log" scan "$work/zeros.img" --json 2>"$work/err")
rc=$?
set -e
[ $rc -ne 0 ] || fail "scan of zeros exited 0"
grep -q "unknown file system" "$work/err" || fail "no message for zeros: $(cat "$work/err")"
python3 -c 'import json,sys; d=json.load(sys.stdin); assert d["filesystem"] is None and d["entries"]==[]' <<<"$out" \
  || fail "zeros JSON: $out"

# A missing image is a clear error.
if "$qvr" --log "$work/scan.log" scan "$work/absent.img" 2>"$work/err"; then fail "absent image exited 0"; fi
grep -q "no such drive" "$work/err" || fail "absent image message: $(cat "$work/err")"

# A mapped drive whose image is gone says why it cannot be opened, in the desktop program's words.
if QUENVAR_DRIVES="W=$work/gone.img" "$qvr" --log "$work/scan.log" scan W: 2>"$work/err"; then fail "gone image exited 0"; fi
grep -q "^qvr: W:: cannot be opened: .*not find the file" "$work/err" || fail "gone image message: $(cat "$work/err")"

# The drive map names images; drives lists them with their file systems.
export QUENVAR_DRIVES="X=$work/ntfs.img;Y=$work/floppy.img"
"$qvr" --log "$work/scan.log" drives --json > "$work/drives.json"
python3 - "$work/drives.json" <<'PY' || fail "drives: $(cat "$work/drives.json")"
import json, sys
d = {e["letter"]: e for e in json.load(open(sys.argv[1]))}
assert d["X:"]["filesystem"] == "NTFS" and d["X:"]["supported"], d
assert d["Y:"]["filesystem"] == "FAT12", d
PY
out=$("$qvr" --log "$work/scan.log" scan X: --json)
python3 -c 'import json,sys; assert json.load(sys.stdin)["filesystem"]=="NTFS"' <<<"$out" || fail "scan X:"

# The log holds the scan's steps in the log line format.
grep -qE '^  INFO [0-9: ]*\|  ----------- Start directory tree modifing process\. $' "$work/scan.log" \
  || fail "log lines missing"
echo "cli basics: ok"

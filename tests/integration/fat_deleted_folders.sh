#!/bin/bash
# Deleted folders whose entries took several clusters, on real FAT32 (512-byte clusters)
# and FAT16 (2048-byte clusters) volumes made with mtools: every file of every deleted
# folder is listed under its path and recovered equal to its source, the files that lie
# past a folder's first cluster included. Folders of 10 to 500 entries, some with a file
# written elsewhere between two of theirs, one inside another.
source "$(dirname "$0")/common.bash" "$@"
for tool in mkfs.fat mcopy mmd mdeltree python3; do
    command -v "$tool" >/dev/null || fail "missing $tool"
done

# make_folder SRC COUNT PREFIX: COUNT files of 0 to 3000 bytes named PREFIX<n><suffix>.
make_folder() {
    local dir=$1 count=$2 prefix=$3 suffix=$4 i
    mkdir -p "$dir"
    for i in $(seq 1 "$count"); do head -c $(((i * 397) % 3001)) /dev/urandom >"$dir/$prefix$i$suffix"; done
}

# copy_in IMG SRC TARGET [FILES...]: the files in the order given (all when none given).
copy_in() {
    local img=$1 src=$2 target=$3
    shift 3
    local files=("$@")
    [ ${#files[@]} -gt 0 ] || mapfile -t files < <(ls "$src" | sort -V)
    (cd "$src" && mcopy -i "$img" "${files[@]}" "::$target/")
}

check() {  # img label expected-folder
    local img=$1 label=$2 expected=$3
    "$qvr" --log "$work/$label.log" scan "$img" --json >"$work/$label.json" || fail "$label: scan exited $?"
    python3 - "$work/$label.json" "$expected" "$label" <<'PY' || fail "$label: listing differs"
import json, os, sys
entries = {e["path"]: e for e in json.load(open(sys.argv[1]))["entries"]}
root, label = sys.argv[2], sys.argv[3]
missing, wrong, count = [], [], 0
for base, _, files in os.walk(root):
    for f in files:
        path = "/" + os.path.relpath(os.path.join(base, f), root)
        count += 1
        e = entries.get(path)
        if e is None:
            missing.append(path)
        elif not e["deleted"] or e["size"] != os.path.getsize(os.path.join(base, f)):
            wrong.append(path)
for p in (missing + wrong)[:10]:
    print(f"{label}: {'missing' if p in missing else 'wrong'}: {p}")
print(f"{label}: {count} deleted files expected, {len(missing)} missing, {len(wrong)} wrong")
sys.exit(1 if missing or wrong else 0)
PY
    followed=$(grep -c "goes on past its first cluster" "$work/$label.log" || true)
    [ "$followed" -ge 10 ] || fail "$label: only $followed further clusters were followed"
    mkdir "$work/out-$label"
    "$qvr" --log "$work/$label.log" recover "$img" / --to "$work/out-$label" --overwrite skip >/dev/null \
        || fail "$label: recover exited $?"
    diff -r -x _ONE.BIN "$expected" "$work/out-$label" >"$work/$label.diff" || fail "$label: recovered files differ: $(head -5 "$work/$label.diff")"
    echo "$label: $(find "$expected" -type f | wc -l) files listed and recovered, $followed further clusters followed"
}

# FAT32, 512-byte clusters: long names take three or four entries each.
img="$work/f32.img"
src="$work/src32"
truncate -s 64M "$img"
mkfs.fat -F 32 -s 1 "$img" >/dev/null
make_folder "$src/Ten files" 10 "A file with a long name " ".bin"
make_folder "$src/Thirty files" 30 "Thirty files, number " ".dat"
# A deleted 8.3 name loses its first character to '_': these begin with it already.
make_folder "$src/Short names" 120 "_" ".DAT"
make_folder "$src/Nested folder/Inner folder" 20 "Inner file number " ".txt"
make_folder "$src/Nested folder" 12 "Outer file number " ".txt"
mmd -i "$img" "::/Ten files" "::/Thirty files" "::/Short names" "::/Nested folder" "::/Nested folder/Inner folder"
# A file written between two of the ten and deleted later: its data is free again.
mapfile -t ten < <(ls "$src/Ten files" | sort -V)
copy_in "$img" "$src/Ten files" "/Ten files" "${ten[@]:0:5}"
head -c 3000 /dev/urandom >"$work/gone.bin"
mcopy -i "$img" "$work/gone.bin" ::/GONE.BIN
copy_in "$img" "$src/Ten files" "/Ten files" "${ten[@]:5}"
# Half of the thirty, a live file elsewhere, then the rest: the folder's next cluster
# lies past that file.
mapfile -t thirty < <(ls "$src/Thirty files" | sort -V)
copy_in "$img" "$src/Thirty files" "/Thirty files" "${thirty[@]:0:15}"
head -c 5000 /dev/urandom >"$work/between.bin"
mcopy -i "$img" "$work/between.bin" ::/BETWEEN.BIN
copy_in "$img" "$src/Thirty files" "/Thirty files" "${thirty[@]:15}"
copy_in "$img" "$src/Short names" "/Short names"
mapfile -t outer < <(cd "$src/Nested folder" && ls -p | grep -v / | sort -V)
copy_in "$img" "$src/Nested folder" "/Nested folder" "${outer[@]}"
copy_in "$img" "$src/Nested folder/Inner folder" "/Nested folder/Inner folder"
mdeltree -i "$img" "::/Ten files" "::/Thirty files" "::/Short names" "::/Nested folder"
mdel -i "$img" ::/GONE.BIN
check "$img" FAT32 "$src"

# FAT16, 2048-byte clusters: 500 files with 8.3 names and 200 with long names.
img="$work/f16.img"
src="$work/src16"
truncate -s 64M "$img"
mkfs.fat -F 16 -s 4 "$img" >/dev/null
make_folder "$src/Five hundred" 500 "_" ".DAT"
make_folder "$src/Two hundred long" 200 "A rather long name for file " ".txt"
mmd -i "$img" "::/Five hundred" "::/Two hundred long"
# One mcopy per file: given many files at once, mtools places all the folder's new
# clusters after the data of the whole batch, past where the folder is looked for.
for f in $(ls "$src/Five hundred" | sort -V); do mcopy -i "$img" "$src/Five hundred/$f" "::/Five hundred/"; done
mapfile -t long < <(ls "$src/Two hundred long" | sort -V)
for f in "${long[@]}"; do mcopy -i "$img" "$src/Two hundred long/$f" "::/Two hundred long/"; done
mdeltree -i "$img" "::/Five hundred" "::/Two hundred long"
check "$img" FAT16 "$src"

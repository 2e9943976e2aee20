#!/usr/bin/env bash
# Compares what qvr prints and logs, built from a base commit and from the work tree, on the
# bundled samples and on any further volumes named on the command line (the benchmark volumes).
# A restructuring must leave `qvr scan --json`, `qvr ls --json` (the root and each of its
# folders) and the scan log identical; the log's clock, build stamp, machine lines and the
# addresses the FAT scan logs are masked.
#   scripts/compare-outputs.sh [--base COMMIT] [VOLUME...]     (default base: HEAD^)
# Then it checks the house rules a grep can see: no raw-source reads in the front ends, no casts
# to concrete parsers outside fslib/, and (scripts/rule-homes.sh) one home per shared rule.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
base=HEAD^
if [ "${1:-}" = "--base" ]; then base=$2; shift 2; fi
sha=$(git rev-parse --short "$base")
work=$(mktemp -d)
trap 'rm -rf "$work"; git worktree remove --force "$top/build/compare-src-$sha" >/dev/null 2>&1 || true' EXIT

build_qvr() {  # source folder, build folder
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVR_BUILD_TESTS=OFF -DQVR_BUILD_BENCH=OFF >/dev/null
  cmake --build "$2" --target qvr mvcmn -j "$(nproc)" >/dev/null
}

echo "compare-outputs: building qvr at $sha and in the work tree"
git worktree add --force --detach "$top/build/compare-src-$sha" "$base" >/dev/null 2>&1
build_qvr "$top/build/compare-src-$sha" "$top/build/compare-$sha"
build_qvr "$top" "$top/build/compare-work"

# The log's time stamps, build stamps and machine lines differ from run to run.
mask_log() {
  sed -E -e 's/^(......) [0-9]{2}:[0-9]{2}:[0-9]{2} \|/\1  |/' \
         -e 's/(__DATE__|__TIME__|Today is|GetCurrentDirectory|GetComputerName) \[.*\]/\1 [masked]/' \
         -e 's/File \[[^]]*\]/File [masked]/' \
         -e 's/First file handle: 0x[0-9A-F]+h/First file handle: masked/' \
         -e 's/pDiskDrive pointer is -> [0-9]+/pDiskDrive pointer is -> masked/' "$1"
}

run_all() {  # qvr binary, output folder, volumes...
  local qvr=$1 out=$2; shift 2
  mkdir -p "$out"
  export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache"
  mkdir -p "$XDG_CONFIG_HOME/quenvar"
  printf '[Options]\nLogLevel=info\n' >"$XDG_CONFIG_HOME/quenvar/quenvar.ini"
  for vol in "$@"; do
    local name; name=$(basename "$vol")
    "$qvr" --log "$out/$name.raw.log" scan "$vol" --json >"$out/$name.scan.json" 2>"$out/$name.scan.err" || true
    mask_log "$out/$name.raw.log" >"$out/$name.log"; rm -f "$out/$name.raw.log"
    "$qvr" --log "$out/ls.log" ls "$vol" --json >"$out/$name.ls.json" 2>&1 || true
    # Each folder of the root, as the browser lists it.
    python3 - "$out/$name.ls.json" <<'PY' >"$out/$name.folders"
import json, sys
try:
    rows = json.load(open(sys.argv[1])).get("rows", [])
except Exception:
    rows = []
for r in rows:
    if r.get("directory") and r.get("name") not in ("..", None):
        print(r["name"])
PY
    local i=0
    while IFS= read -r folder; do
      i=$((i + 1))
      "$qvr" --log "$out/ls.log" ls "$vol" "/$folder" --json >"$out/$name.ls.$i.json" 2>&1 || true
    done <"$out/$name.folders"
    rm -f "$out/ls.log"
    # An image takes the first letter after the machine's block devices, which loop devices move.
    sed -i -E 's/of drive [A-Z]:/of drive ?:/' "$out/$name".ls*.json
  done
}

volumes=(samples/ntfs-sample.img samples/fat-sample.img samples/exfat-sample.img "$@")
run_all "$top/build/compare-$sha/bin/qvr" "$work/base" "${volumes[@]}"
run_all "$top/build/compare-work/bin/qvr" "$work/work" "${volumes[@]}"

status=0
if diff -r "$work/base" "$work/work" >"$work/diff.txt"; then
  echo "compare-outputs: scan JSON, ls JSON and scan logs identical on ${#volumes[@]} volumes"
else
  cp "$work/diff.txt" "$top/build/compare-diff.txt"
  echo "compare-outputs: outputs differ from $sha (all of it in build/compare-diff.txt):" >&2
  head -n 80 "$work/diff.txt" >&2
  status=1
fi

# The front ends word what app/ found; they never open or read a raw source themselves.
if grep -rnE 'platform::(OpenRawSource|RawRead)' gui cli; then
  echo "compare-outputs: a front end reads a raw source itself" >&2; status=1
fi
# Only the parsers' own library knows the concrete parser classes.
if grep -rnE '(static|dynamic)_cast<C(NTFS|FAT|FAT12|FAT16|FAT32|ExFAT)Parser' --include='*.cpp' --include='*.h' \
     app cli gui; then
  echo "compare-outputs: a cast to a concrete parser outside fslib/" >&2; status=1
fi
if [ -x scripts/rule-homes.sh ]; then scripts/rule-homes.sh || status=1; fi
exit $status

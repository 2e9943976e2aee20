#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over C++ files with the release build's compile commands.
#   scripts/tidy.sh FILE...        those files (a header: the sources that include it)
#   scripts/tidy.sh --since COMMIT the files changed since COMMIT, work tree included
#   scripts/tidy.sh --all          every source of the build; when clean on a clean work
#                                  tree, HEAD is recorded in scripts/tidy-base (commit it)
#   scripts/tidy.sh                the files changed since the commit in scripts/tidy-base;
#                                  every source when that commit is not in the history (a
#                                  shallow clone). CI runs this.
# TIDY_JOBS sets how many run at once (default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
db=build/release/compile_commands.json
if [ ! -f "$db" ]; then
  echo "tidy: $db is missing (cmake --preset release makes it)" >&2
  exit 1
fi
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
[ -n "$tidy" ] || { echo "tidy: clang-tidy is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

# The sources the build compiles, relative to the repository (generated ones left out).
mapfile -t sources < <(python3 -c '
import json, os, sys
root = os.getcwd() + "/"
seen = set()
for e in json.load(open(sys.argv[1])):
    f = os.path.normpath(os.path.join(e["directory"], e["file"]))
    if f.startswith(root) and not f.startswith(root + "build/") and f not in seen:
        seen.add(f)
        print(f[len(root):])
' "$db" | sort)

changed_since() {
  git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h'
  git ls-files --others --exclude-standard -- '*.cpp' '*.h'
}

case "${1:-}" in
  --all) files=("${sources[@]}") ;;
  --since) mapfile -t files < <(changed_since "$2") ;;
  "")
    base=$(tr -d '[:space:]' < scripts/tidy-base)
    if git cat-file -e "$base^{commit}" 2>/dev/null; then
      echo "tidy: files changed since $base"
      mapfile -t files < <(changed_since "$base")
    else
      echo "tidy: $base is not in this history; every source"
      files=("${sources[@]}")
    fi
    ;;
  *) files=("$@") ;;
esac

# A header is checked through the sources that include it (the header filter of .clang-tidy
# reports its lines); a source the build does not compile is left out.
declare -A pick=()
for f in "${files[@]}"; do
  f=${f#./}
  case "$f" in
    *.h)
      while read -r s; do pick[$s]=1; done < <(printf '%s\n' "${sources[@]}" |
        xargs -r grep -l -F "#include \"$f\"" 2>/dev/null || true)
      ;;
    *.cpp) printf '%s\n' "${sources[@]}" | grep -qxF "$f" && pick[$f]=1 ;;
  esac
done
if [ ${#pick[@]} -eq 0 ]; then
  echo "tidy: no source to check"
  exit 0
fi

out=$(mktemp)
trap 'rm -f "$out"' EXIT
start=$(date +%s)
status=0
printf '%s\n' "${!pick[@]}" | sort |
  xargs -P "${TIDY_JOBS:-$(nproc)}" -n 1 "$tidy" -p build/release --quiet >"$out" 2>/dev/null || status=1
# A header's finding shows once per source that includes it: each is reported once.
if [ -s "$out" ]; then
  awk '/: (warning|error): / { if (seen[$0]++) { skip = 1; next } skip = 0 } !skip' "$out"
fi
echo "tidy: ${#pick[@]} sources in $(($(date +%s) - start)) s"
if [ "$status" -eq 0 ] && [ "${1:-}" = --all ] && [ -z "$(git status --porcelain --untracked-files=no)" ]; then
  git rev-parse HEAD > scripts/tidy-base
  echo "tidy: the whole tree is clean at $(cat scripts/tidy-base), recorded in scripts/tidy-base"
fi
if [ "$status" -ne 0 ]; then
  echo "tidy: findings above (fix them, or say NOLINT(check) with the reason beside it)" >&2
  exit 1
fi

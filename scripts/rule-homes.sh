#!/usr/bin/env bash
# One home per shared rule: each rule below may be spelled in one source file only, and
# never in a front end (gui/, cli/), which ask the layers below instead. Prints each
# rule's home; exits non-zero when a rule has copies, lives in a front end, or is gone.
# Run from anywhere inside the repository.
set -uo pipefail
cd "$(git rev-parse --show-toplevel)" || exit 2

folders=(platform common mvcmn fslib app cli gui)
status=0

# rule name @ extended regular expression @ how many files may spell it (1, or 0 for a
# name that must be gone)
rules=(
  'damage word of a level@return "Poor"@1'
  'INFO2 Recycle Bin candidate@"/recycle[rd]/"@1'
  'path of a node from the root@for \(const NodeEntry\* [a-z]+ = [^;]*; [a-z]+ && [a-z]+->parent[ ;&]@1'
  'is this text@control \* 20@1'
  'little-endian read by hand@\[[^]]*\]\)* ?<< ?(8|16|24)\b@1'
  'FAT walk found nothing@constexpr int FAT_WALK_EMPTY@1'
  'old name of the FAT walk status@kFatNothingAdded@0'
  'node recovery folder recursion@"Directory detected\. Processing\.\."@1'
)

for rule in "${rules[@]}"; do
  IFS='@' read -r name pattern allowed <<< "$rule"
  mapfile -t files < <(grep -rlE --include='*.cpp' --include='*.h' -- "$pattern" "${folders[@]}" | sort)
  if [ "${#files[@]}" -ne "$allowed" ]; then
    echo "rule-homes: $name: spelled in ${#files[@]} files, $allowed allowed: ${files[*]:-none}" >&2
    status=1
    continue
  fi
  for f in "${files[@]}"; do
    case "$f" in
      gui/* | cli/*)
        echo "rule-homes: $name: lives in the front end $f" >&2
        status=1
        ;;
    esac
  done
  echo "rule-homes: $name: ${files[*]:-gone}"
done
exit $status

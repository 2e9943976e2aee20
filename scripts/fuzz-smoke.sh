#!/usr/bin/env bash
# Builds the libFuzzer targets of the fuzz preset (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build/fuzz) and runs each briefly from its seed corpus.
# Fails when a target crashes, leaks, hangs (10 s per input) or runs out of memory.
# FUZZ_SECONDS sets the time per target (default 40); two targets run at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-40}
build=build/fuzz

for tool in clang clang++ cmake ninja; do
  command -v "$tool" >/dev/null || { echo "fuzz-smoke: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/fuzz_seeds" "$work/seeds"

targets=()
for bin in "$build"/bin/fuzz_*; do
  name=$(basename "$bin")
  [ "$name" = fuzz_seeds ] && continue
  targets+=("${name#fuzz_}")
done

run_one() {
  local t=$1
  mkdir -p "$work/corpus/$t" "$work/artifacts/$t"
  if "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/artifacts/$t/" "$work/corpus/$t" "$work/seeds/$t" >"$work/$t.log" 2>&1; then
    echo "fuzz_$t: ok ($(grep -Eo 'Done [0-9]+ runs' "$work/$t.log" | tail -n 1))"
  else
    echo "fuzz_$t: FAILED" >&2
    grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written|#[0-9]+ 0x' "$work/$t.log" | head -n 30 >&2
    # Keep the input that failed where the developer can find it.
    mkdir -p "$build/findings"
    cp "$work/artifacts/$t/"* "$build/findings/" 2>/dev/null || true
    echo "fuzz_$t: failing input kept in $build/findings/" >&2
    return 1
  fi
}

failed=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done

if [ "$failed" -ne 0 ]; then
  echo "fuzz-smoke: a target failed" >&2
  exit 1
fi
echo "fuzz-smoke: ${#targets[@]} targets ran ${seconds} s each without a finding"

#!/usr/bin/env bash
# Builds the NTFS libFuzzer target with clang (the NTFS sources instrumented, the lower
# layers taken from a Debug build folder) and runs it briefly from a real mkntfs/ntfs-3g
# seed volume.
# usage: ntfs_fuzz_run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?a configured and built Debug build folder}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
mnt="$work/m"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ninja -C "$build" qvr_core qvr_disk qvr_runtime qvr_logger qvr_platform >/dev/null
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I"$root" "$root/tests/fuzz/ntfs_fuzz.cpp" \
  "$root"/fslib/ntfs/*.cpp -o "$work/ntfs_fuzz" \
  "$build/fslib/core/libqvr_core.a" "$build/fslib/disk/libqvr_disk.a" "$build/common/runtime/libqvr_runtime.a" \
  "$build/common/logger/libqvr_logger.a" "$build/platform/libqvr_platform.a" -ldl -lpthread

mkdir -p "$work/corpus" "$mnt"
truncate -s 2M "$work/corpus/seed.img"
mkntfs -q -F -f "$work/corpus/seed.img" >/dev/null 2>&1
ntfs-3g -o compression "$work/corpus/seed.img" "$mnt"
mkdir "$mnt/d"
echo hi > "$mnt/d/a.txt"
head -c 20000 /dev/urandom > "$mnt/b.bin"
rm "$mnt/d/a.txt"
umount "$mnt"
export XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
"$work/ntfs_fuzz" -max_len=2200000 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 "$work/corpus"

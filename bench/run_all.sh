#!/bin/bash
# Every benchmark beside its peers, in one run, on the shared recipe's volumes: the NTFS
# scan (200,000 files), the FAT32 scan (50,000 entries), the exFAT scan (50,000 entries,
# the FAT32 benchmark's tree), recovery of every deleted file on NTFS and FAT32, the file
# list at 100,000 rows and the log line. Volumes missing from VOLUME_DIR are made first
# (../shared/bench's make-ntfs.sh and make-fat32.sh, bench/exfat_gen.sh; root and FUSE for
# NTFS and exFAT). Everything printed is also kept in VOLUME_DIR/results.txt.
#   bench/run_all.sh BIN_DIR VOLUME_DIR
# NTFS_FILES, FAT_ENTRIES and EXFAT_ENTRIES change the sizes (a small smoke run).
set -euo pipefail
BIN=$(realpath "${1:?folder of the built binaries}")
DIR=$(realpath "${2:?folder for the volumes}")
HERE=$(cd "$(dirname "$0")" && pwd)
SHARED=${SHARED_BENCH:-$HERE/../../shared/bench}
NTFS_FILES=${NTFS_FILES:-200000}
FAT_ENTRIES=${FAT_ENTRIES:-50000}
EXFAT_ENTRIES=${EXFAT_ENTRIES:-50000}
mkdir -p "$DIR"
ntfs="$DIR/ntfs-$NTFS_FILES.img"
fat="$DIR/fat32-$FAT_ENTRIES.img"
exfat="$DIR/exfat-$EXFAT_ENTRIES.img"
[ -s "$ntfs" ] || "$SHARED/make-ntfs.sh" "$NTFS_FILES" "$DIR"
[ -s "$fat" ] || "$SHARED/make-fat32.sh" "$FAT_ENTRIES" "$DIR"
[ -s "$exfat" ] || bash "$HERE/exfat_gen.sh" "$exfat" "$EXFAT_ENTRIES"

{
  echo "# $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo; echo "## NTFS scan"; bash "$HERE/ntfs_bench.sh" "$BIN" "$NTFS_FILES" "$ntfs"
  echo; echo "## FAT32 scan"; bash "$HERE/fat_bench.sh" "$BIN" "$FAT_ENTRIES" "$fat"
  echo; echo "## exFAT scan"; bash "$HERE/exfat_bench.sh" "$BIN" "$EXFAT_ENTRIES" "$exfat"
  echo; echo "## Recovery, NTFS"; bash "$HERE/recover_bench.sh" "$BIN" "$ntfs"
  echo; echo "## Recovery, FAT32"; bash "$HERE/recover_bench.sh" "$BIN" "$fat"
  if [ -x "$BIN/bench_filelist" ]; then
    echo; echo "## File list, 100,000 rows"; QT_QPA_PLATFORM=offscreen "$BIN/bench_filelist" --benchmark_min_time=0.2 2>/dev/null
  fi
  if [ -x "$BIN/bench_logger" ]; then
    echo; echo "## Log line"; "$BIN/bench_logger" --benchmark_min_time=0.2 2>/dev/null
  fi
} 2>&1 | tee "$DIR/results.txt"

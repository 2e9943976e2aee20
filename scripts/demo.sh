#!/usr/bin/env bash
# Builds the two programs, the runtime library and the help pages of the release preset
# (the test command builds the rest) and starts the desktop program on the bundled sample volumes;
# without a display, scans them with qvr instead.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
start=$(date +%s)
cmake --build --preset release --target qvr quenvar mvcmn help_pages
echo "Built qvr, quenvar, libmvcmn.so and the help pages in $(($(date +%s) - start)) s."
# The sample volumes as drives E:, F: and G: of the desktop program.
export QUENVAR_DRIVES="E=$PWD/samples/ntfs-sample.img;F=$PWD/samples/fat-sample.img;G=$PWD/samples/exfat-sample.img"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting quenvar: drive E: is the NTFS sample, F: the FAT12 sample, G: the exFAT card."
  echo "Press Scan, open a folder, select a deleted file and press Undelete."
  exec build/release/bin/quenvar
fi
echo "No display: the command-line demo instead."
for img in samples/ntfs-sample.img samples/fat-sample.img samples/exfat-sample.img; do
  echo "== qvr scan $img"
  build/release/bin/qvr --log build/release/demo.log scan "$img"
done

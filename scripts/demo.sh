#!/usr/bin/env bash
# Builds the release preset and scans the bundled sample volumes.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
for img in samples/ntfs-sample.img samples/fat-sample.img; do
  echo "== qvr scan $img"
  build/release/bin/qvr --log build/release/demo.log scan "$img"
done

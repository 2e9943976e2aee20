#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libzip-dev libblkid-dev qt6-base-dev
  libmagic-dev libssl-dev zlib1g-dev
  sleuthkit ntfs-3g mtools dosfstools exfatprogs exfat-fuse attr util-linux fdisk gdisk
  clang libclang-rt-14-dev clang-format clang-tidy imagemagick
  ffmpeg exiv2 testdisk
  libewf-dev libvhdi-dev libvmdk-dev libbfio-dev libqcow-dev ewf-tools qemu-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root) and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
pkgs=(g++ make cmake qt6-base-dev qt6-base-dev-tools libgl-dev fusefat exfat-fuse exfatprogs ntfs-3g dosfstools)
missing=()
for p in "${pkgs[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

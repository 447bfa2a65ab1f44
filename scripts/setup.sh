#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root) and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# fonts-liberation2: Liberation Sans, the font with Arial's metrics the window is laid out for.
# btrfs-progs: the copier test that clones on a btrfs loop image (skipped without it).
pkgs=(g++ make cmake qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation2 btrfs-progs)
missing=()
for p in "${pkgs[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root) and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# fonts-liberation2: Liberation Sans, the font with Arial's metrics the window is laid out for.
# fusefat exfat-fuse exfatprogs ntfs-3g dosfstools: the foreign volumes the volume tests mount.
# desktop-file-utils: the desktop entry's validation test.
# btrfs-progs: the copier test that clones on a btrfs loop image.
# python3: the routine-length check (scripts/check-function-length.sh).
# dpkg-dev appstream man-db groff-base lintian binutils: the Debian package's test (cpack -G DEB
# with dpkg-shlibdeps, appstreamcli validate, man --warnings, lintian, readelf on the program).
# acl attr libcap2-bin: the metadata tests make ACLs, attributes and file capabilities to copy;
# rsync: the root test of what a backup keeps compares the two trees with it.
# samba smbnetfs: the share test's server (on 127.0.0.1 only) and the FUSE client that mounts it.
pkgs=(g++ make cmake qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation2
      fusefat exfat-fuse exfatprogs ntfs-3g dosfstools desktop-file-utils btrfs-progs python3
      dpkg-dev appstream man-db groff-base lintian binutils acl attr libcap2-bin rsync samba smbnetfs)
missing=()
for p in "${pkgs[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

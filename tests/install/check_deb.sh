#!/bin/sh
# Builds the Debian package from the build folder given and checks it: its file name, the files it
# installs, its Depends (the libraries dpkg-shlibdeps found and the font), the desktop entry
# inside it naming /usr/bin, the AppStream metainfo (appstreamcli validate) and the manual page
# (man --warnings renders it without a warning). Exits 77 (skipped) where a tool is missing.
#   check_deb.sh BUILD_DIR SOURCE_DIR VERSION
build=$1 src=$2 version=$3
for tool in cpack dpkg-deb dpkg-shlibdeps appstreamcli man groff; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed (scripts/setup.sh installs dpkg-dev, appstream, man-db, groff-base): skipped"
    exit 77
  fi
done
fail() { echo "FAIL: $*"; exit 1; }

out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
deb="$out/quorvel-marnisyn_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$out"; fail "no package $deb"; }

files=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for want in ./usr/bin/QuorvelMarnisyn ./usr/share/applications/quorvel-marnisyn.desktop \
            ./usr/share/metainfo/quorvel-marnisyn.metainfo.xml ./usr/share/man/man1/quorvel-marnisyn.1 \
            ./usr/share/icons/hicolor/scalable/apps/quorvel-marnisyn.svg; do
  echo "$files" | grep -qxF "$want" || fail "the package lacks $want"
done
for size in 16 24 32 48 64 128 256; do
  want="./usr/share/icons/hicolor/${size}x${size}/apps/quorvel-marnisyn.png"
  echo "$files" | grep -qxF "$want" || fail "the package lacks $want"
done
echo "$files" | grep -q '^\./usr/local' && fail "the package installs under /usr/local"

[ "$(dpkg-deb -f "$deb" Package)" = quorvel-marnisyn ] || fail "wrong Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "wrong Version field"
depends=$(dpkg-deb -f "$deb" Depends)
for want in fonts-liberation2 libc6 libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6; do
  echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$want\b" || fail "Depends lacks $want: $depends"
done

entry=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/quorvel-marnisyn.desktop)
echo "$entry" | grep -qxF "Exec=/usr/bin/QuorvelMarnisyn" || fail "the packaged entry does not start /usr/bin/QuorvelMarnisyn: $entry"
echo "$entry" | grep -qxF "StartupWMClass=QuorvelMarnisyn" || fail "the packaged entry lacks StartupWMClass"

meta="$src/data/quorvel-marnisyn.metainfo.xml"
appstreamcli validate --no-net "$meta" || fail "appstreamcli validate rejects $meta"
grep -qF "<release version=\"$version\"" "$meta" || fail "$meta does not list release $version"

page="$src/data/quorvel-marnisyn.1"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" FILES EXAMPLES; do
  echo "$rendered" | grep -qx "$section" || fail "the manual page lacks $section"
done
echo "$rendered" | grep -q "QuorvelMarnisyn $version" || fail "the manual page does not name version $version"
echo "package $deb checked"

#!/bin/sh
# Builds the Debian package from the build folder given and checks it: its file name, the files it
# installs, its Depends (the libraries dpkg-shlibdeps found and the font) and Recommends, the
# desktop entry inside it naming /usr/bin, the AppStream metainfo (appstreamcli validate and
# validate-tree), the manual page (man --warnings renders it without a warning), a stripped
# hardened program, and lintian with no error or warning beyond the package's own overrides.
# Exits 77 (skipped) where a tool is missing. The first run builds the program in Release
# (package-release/ in the build folder), which takes a few minutes.
#   check_deb.sh BUILD_DIR SOURCE_DIR VERSION
build=$1 src=$2 version=$3
for tool in cpack dpkg-deb dpkg-shlibdeps appstreamcli man groff lintian readelf; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed (scripts/setup.sh installs dpkg-dev, appstream, man-db, groff-base, lintian, binutils): skipped"
    exit 77
  fi
done
fail() { echo "FAIL: $*"; exit 1; }

out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
# The package's version is the program's with the package's own revision.
deb="$out/quorvel-marnisyn_${version}-1_${arch}.deb"
[ -f "$deb" ] || { ls "$out"; fail "no package $deb"; }

# A symbolic link is listed as "name -> target": the name is the word before the arrow.
files=$(dpkg-deb -c "$deb" | awk '{ if ($(NF-1) == "->") print $(NF-2); else print $NF }')
for want in ./usr/bin/QuorvelMarnisyn ./usr/share/applications/quorvel-marnisyn.desktop \
            ./usr/share/metainfo/io.github.quorvel.marnisyn.metainfo.xml ./usr/share/man/man1/quorvel-marnisyn.1.gz \
            ./usr/share/man/man1/QuorvelMarnisyn.1.gz ./usr/share/doc/quorvel-marnisyn/copyright \
            ./usr/share/doc/quorvel-marnisyn/changelog.Debian.gz \
            ./usr/share/icons/hicolor/scalable/apps/quorvel-marnisyn.svg; do
  echo "$files" | grep -qxF "$want" || fail "the package lacks $want"
done
for size in 16 24 32 48 64 128 256; do
  want="./usr/share/icons/hicolor/${size}x${size}/apps/quorvel-marnisyn.png"
  echo "$files" | grep -qxF "$want" || fail "the package lacks $want"
done
echo "$files" | grep -q '^\./usr/local' && fail "the package installs under /usr/local"

[ "$(dpkg-deb -f "$deb" Package)" = quorvel-marnisyn ] || fail "wrong Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "wrong Version field"
depends=$(dpkg-deb -f "$deb" Depends)
for want in fonts-liberation2 libc6 libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6; do
  echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$want\b" || fail "Depends lacks $want: $depends"
done

echo "$(dpkg-deb -f "$deb" Recommends)" | grep -q '\bxdg-utils\b' || fail "Recommends lacks xdg-utils"
dpkg-deb -f "$deb" Maintainer | grep -q '@localhost' && fail "the maintainer's address is not a real one"

root="$out/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
program="$root/usr/bin/QuorvelMarnisyn"
readelf -S "$program" | grep -q '\.debug_\|\.symtab' && fail "the program is not stripped"
readelf -d "$program" | grep -q 'BIND_NOW' || fail "the program is not linked with -z now"
readelf -h "$program" | grep -q 'DYN ' || fail "the program is not position-independent"
readelf --dyn-syms -W "$program" | grep -q '__stack_chk_fail' || fail "the program has no stack protection"
readelf --dyn-syms -W "$program" | grep -q '_chk@' || fail "the program uses no checked buffer functions"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree rejects the package's files"
copyright="$root/usr/share/doc/quorvel-marnisyn/copyright"
head -1 "$copyright" | grep -qF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not in the machine-readable format"
license=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$root/usr/share/metainfo/io.github.quorvel.marnisyn.metainfo.xml")
grep -qx "License: $license" "$copyright" || fail "the copyright file does not state the licence $license"
zcat "$root/usr/share/man/man1/QuorvelMarnisyn.1.gz" | grep -q '^\.TH QUORVELMARNISYN 1' || fail "man QuorvelMarnisyn finds no page"
zcat "$root/usr/share/doc/quorvel-marnisyn/changelog.Debian.gz" 2>/dev/null | head -1 | grep -qF "quorvel-marnisyn ($version-1)" \
  || fail "the change log's latest entry is not $version-1"

# lintian: no error and no warning beyond the overrides the package ships (each with its reason).
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$out/lintian.log" 2>&1 || { cat "$out/lintian.log"; fail "lintian"; }
cat "$out/lintian.log"

entry=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/quorvel-marnisyn.desktop)
echo "$entry" | grep -qxF "Exec=/usr/bin/QuorvelMarnisyn" || fail "the packaged entry does not start /usr/bin/QuorvelMarnisyn: $entry"
echo "$entry" | grep -qxF "StartupWMClass=QuorvelMarnisyn" || fail "the packaged entry lacks StartupWMClass"

meta="$src/data/io.github.quorvel.marnisyn.metainfo.xml"
appstreamcli validate --no-net "$meta" || fail "appstreamcli validate rejects $meta"
grep -qF "<release version=\"$version\"" "$meta" || fail "$meta does not list release $version"

page="$src/data/quorvel-marnisyn.1"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
  echo "$rendered" | grep -qx "$section" || fail "the manual page lacks $section"
done
echo "$rendered" | grep -q "QuorvelMarnisyn $version" || fail "the manual page does not name version $version"
echo "package $deb checked"

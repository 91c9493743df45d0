#!/usr/bin/env bash
# Builds the Debian package loftmark_<version>_amd64.deb from the program of
# the build folder.
#
#   bash scripts/package.sh [--out DIR] [--no-build]
#
# The program (CMake target "program") is built into $BUILD_DIR (default
# build/) unless --no-build says it already is; the package is written to
# DIR (default: the repository's folder). Installed, the program lives in
# /usr/lib/loftmark with its window module, archiver libraries and
# self-extractor stubs, /usr/bin/loftmark links to it, and it keeps its
# settings and working files in the user's XDG folders.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
BUILD_DIR=${BUILD_DIR:-build}
OUT=$SRC
BUILD=1
while [ $# -gt 0 ]; do
  case "$1" in
    --out) OUT=$2; shift 2 ;;
    --no-build) BUILD=0; shift ;;
    *) echo "package.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

fail() { echo "package.sh: $*" >&2; exit 1; }

[ -f "$SRC/LICENSE" ] || fail "LICENSE is missing at the repository's root: the package ships it as the copyright text"
[ -f "$SRC/README.md" ] || fail "README.md is missing at the repository's root"
for tool in dpkg-deb dpkg-shlibdeps rsvg-convert strip gzip; do
  command -v "$tool" >/dev/null || fail "$tool not found (bash scripts/install-deps.sh installs it)"
done

if [ "$BUILD" = 1 ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target program
fi
BIN=$(cd "$BUILD_DIR/bin" && pwd)
for f in loftmark loftmark-window.so UnLHA32.DLL Cab32.DLL lfsfxw.exe lfsfx; do
  [ -f "$BIN/$f" ] || fail "$BIN/$f is missing: build the target \"program\" first"
done

VERSION=$(sed -n 's/^project(Loftmark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$VERSION" ] || fail "no version in CMakeLists.txt"
ARCH=$(dpkg --print-architecture)
PACKAGE=loftmark_${VERSION}_${ARCH}.deb

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ROOT=$WORK/root
umask 022

# The program folder.
LIB=$ROOT/usr/lib/loftmark
install -d "$LIB" "$ROOT/usr/bin"
install -m 0755 "$BIN/loftmark" "$BIN/lfsfx" "$LIB/"
install -m 0644 "$BIN/loftmark-window.so" "$BIN/UnLHA32.DLL" "$BIN/Cab32.DLL" "$BIN/lfsfxw.exe" "$LIB/"
# The debugging information stays in the build folder.
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
  "$LIB/loftmark" "$LIB/lfsfx" "$LIB/loftmark-window.so" "$LIB/UnLHA32.DLL" "$LIB/Cab32.DLL"
# The program finds its window module, libraries and stubs beside the
# executable it really is (/proc/self/exe), so /usr/bin holds a link only.
ln -s ../lib/loftmark/loftmark "$ROOT/usr/bin/loftmark"

# Documentation, the copyright file and the changelog.
DOC=$ROOT/usr/share/doc/loftmark
install -d "$DOC"
install -m 0644 README.md LICENSE "$DOC/"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Loftmark"
  echo "Source: https://example.org/loftmark"
  echo
  echo "Files: *"
  echo "Copyright: $(sed -n 's/^Copyright (c) *//Ip' LICENSE | head -n 1)"
  echo "License: Expat"
  echo
  echo "License: Expat"
  # The licence text, indented; an empty line becomes " .".
  sed -n '/^Permission is hereby granted/,$p' LICENSE | sed -e 's/^[[:space:]]*$/./' -e 's/^/ /'
} >"$DOC/copyright"
grep -q '^Copyright: .' "$DOC/copyright" || fail "LICENSE has no \"Copyright (c) ...\" line"
grep -q '^ Permission is hereby granted' "$DOC/copyright" || fail "LICENSE is not the MIT licence text"
chmod 0644 "$DOC/copyright"
{
  echo "loftmark ($VERSION) unstable; urgency=medium"
  echo
  echo "  * Loftmark $VERSION."
  echo
  echo " -- Loftmark developers <loftmark@example.org>  $(date -R -d @"${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}")"
} | gzip -9n >"$DOC/changelog.gz"
chmod 0644 "$DOC/changelog.gz"

# The manual page.
install -d "$ROOT/usr/share/man/man1"
gzip -9n <packaging/loftmark.1 >"$ROOT/usr/share/man/man1/loftmark.1.gz"
chmod 0644 "$ROOT/usr/share/man/man1/loftmark.1.gz"

# The desktop entry, the file types and the icon.
install -D -m 0644 packaging/loftmark.desktop "$ROOT/usr/share/applications/loftmark.desktop"
install -D -m 0644 packaging/loftmark-mime.xml "$ROOT/usr/share/mime/packages/loftmark.xml"
install -D -m 0644 packaging/loftmark.svg "$ROOT/usr/share/icons/hicolor/scalable/apps/loftmark.svg"
for size in 48 256; do
  install -d "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" packaging/loftmark.svg -o "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/loftmark.png"
  chmod 0644 "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/loftmark.png"
done

# Depends: the libraries the binaries link, as dpkg-shlibdeps finds them,
# plus what the window needs at run time without linking it: Qt's display
# plugins and a Japanese font for the Japanese interface.
mkdir -p "$WORK/shlibs/debian"
printf 'Source: loftmark\n\nPackage: loftmark\nArchitecture: any\n' >"$WORK/shlibs/debian/control"
SHLIBS=$(cd "$WORK/shlibs" && dpkg-shlibdeps -O -e"$LIB/loftmark" -e"$LIB/loftmark-window.so" \
  -e"$LIB/UnLHA32.DLL" -e"$LIB/Cab32.DLL" -e"$LIB/lfsfx" 2>"$WORK/shlibdeps.err") ||
  { cat "$WORK/shlibdeps.err" >&2; fail "dpkg-shlibdeps failed"; }
DEPENDS=$(sed -n 's/^shlibs:Depends=//p' <<<"$SHLIBS")
[ -n "$DEPENDS" ] || fail "dpkg-shlibdeps found no dependencies"
DEPENDS="$DEPENDS, qt6-qpa-plugins, fonts-ipafont-gothic | fonts-japanese-gothic"

install -d "$ROOT/DEBIAN"
cat >"$ROOT/DEBIAN/control" <<CONTROL
Package: loftmark
Version: $VERSION
Architecture: $ARCH
Maintainer: Loftmark developers <loftmark@example.org>
Installed-Size: $(du -sk --exclude=DEBIAN "$ROOT" | cut -f1)
Depends: $DEPENDS
Recommends: qt6-translations-l10n, xdg-utils
Section: devel
Priority: optional
Homepage: https://example.org/loftmark
Description: distribution builder for Quillet scripts
 Loftmark prepares scripts ("personas") for the Quillet script platform for
 distribution. For the script of a profile it writes the update definition
 file DAT/index.fet, builds the distribution archives (an LZH archive, a
 self-extracting Windows program and the CAB-based .qsc script package) with
 its own archiver libraries, and compares or publishes the script's files
 over FTP, FTPS or SFTP.
 .
 The window has a Japanese interface; the commands (loftmark build, index,
 compare, publish) run without a display, for scripts and CI jobs.
CONTROL

(cd "$ROOT" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$ROOT/DEBIAN/md5sums"
chmod 0644 "$ROOT/DEBIAN/md5sums"

mkdir -p "$OUT"
dpkg-deb --root-owner-group -Zxz --build "$ROOT" "$OUT/$PACKAGE" >/dev/null
echo "$OUT/$PACKAGE"

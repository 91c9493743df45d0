#!/usr/bin/env bash
# The Debian package as an author installs it: built from this build
# folder's program, checked by lintian and desktop-file-validate, unpacked
# with dpkg-deb -x into a temporary root that is then made read-only, and
# run from there with HOME and the XDG folders in a temporary folder. The
# installed copy must write nothing under its root and everything in the
# user's folders; its archives are checked by independent readers.
#
#   bash package_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD_DIR=$(cd "$1" && pwd)
SRC=$(cd "$2" && pwd)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
die() { echo "FAIL: $*" >&2; exit 1; }

for tool in dpkg-deb lintian desktop-file-validate update-mime-database lhasa 7zz cabextract rsvg-convert; do
  command -v "$tool" >/dev/null || die "$tool is missing: run bash scripts/install-deps.sh"
done

T=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  chmod -R u+w "$T" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT

# ---- the package ---------------------------------------------------------
BUILD_DIR=$BUILD_DIR bash "$SRC/scripts/package.sh" --no-build --out "$T/out" >"$T/package.log" 2>&1 ||
  { cat "$T/package.log" >&2; die "scripts/package.sh failed"; }
version=$(sed -n 's/^project(Loftmark VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
DEB=$T/out/loftmark_${version}_$(dpkg --print-architecture).deb
[ -f "$DEB" ] || die "no $DEB"
ok "built $(basename "$DEB")"

# What the package holds, with the kind of each entry.
dpkg-deb -c "$DEB" | awk '{print substr($1,1,1), $6}' | sed 's#^\(.\) \./#\1 /#' >"$T/contents"
while read -r kind path; do
  grep -qxF -- "$kind $path" "$T/contents" && ok "holds $path" || fail "the package lacks $path ($kind)"
done <<'LIST'
l /usr/bin/loftmark
- /usr/lib/loftmark/loftmark
- /usr/lib/loftmark/loftmark-window.so
- /usr/lib/loftmark/UnLHA32.DLL
- /usr/lib/loftmark/Cab32.DLL
- /usr/lib/loftmark/lfsfxw.exe
- /usr/lib/loftmark/lfsfx
- /usr/share/doc/loftmark/README.md
- /usr/share/doc/loftmark/LICENSE
- /usr/share/doc/loftmark/copyright
- /usr/share/doc/loftmark/changelog.gz
- /usr/share/man/man1/loftmark.1.gz
- /usr/share/applications/loftmark.desktop
- /usr/share/mime/packages/loftmark.xml
- /usr/share/icons/hicolor/scalable/apps/loftmark.svg
- /usr/share/icons/hicolor/48x48/apps/loftmark.png
- /usr/share/icons/hicolor/256x256/apps/loftmark.png
LIST

# Depends comes from the binaries; the window's display plugins and a
# Japanese font are needed, not merely recommended.
depends=$(dpkg-deb -f "$DEB" Depends)
recommends=$(dpkg-deb -f "$DEB" Recommends)
for lib in libc6 libqt6core6 libqt6widgets6 libqt6gui6 libcurl4 libgcab-1.0-0 qt6-qpa-plugins fonts-ipafont-gothic; do
  [[ ", $depends" == *", $lib"* || "$depends" == *"| $lib"* || "$depends" == "$lib"* ]] && ok "Depends names $lib" ||
    fail "Depends lacks $lib: $depends"
done
for must in libqt6 libc6 qt6-qpa-plugins fonts-ipafont; do
  [[ "$recommends" != *"$must"* ]] || fail "Recommends names $must, which the program cannot run without"
done

# ---- lintian: errors fail, warnings are shown ------------------------------
lintian --tag-display-limit 0 "$DEB" >"$T/lintian.log" 2>&1
grep -v '^running with root privileges' "$T/lintian.log" | sed 's/^/  lintian: /'
if grep -q '^E: ' "$T/lintian.log"; then fail "lintian reports errors"; else ok "lintian reports no error"; fi

# ---- the unpacked copy -----------------------------------------------------
ROOT=$T/root
dpkg-deb -x "$DEB" "$ROOT" || die "dpkg-deb -x failed"
APP=$ROOT/usr/share/applications/loftmark.desktop
desktop-file-validate "$APP" && ok "desktop-file-validate" || fail "desktop-file-validate reports problems"
for line in 'Name=Loftmark' 'Exec=loftmark %f' 'Icon=loftmark' 'MimeType=application/x-quillet-ugu;application/x-quillet-psn;'; do
  grep -qxF "$line" "$APP" && ok "desktop entry: $line" || fail "desktop entry lacks $line"
done
for key in 'Name\[ja\]=' 'Comment\[ja\]=' 'Categories=.*\(Development\|Utility\);'; do
  grep -q "^$key" "$APP" && ok "desktop entry: $key" || fail "desktop entry lacks $key"
done
# The file types: a MIME database built from the package's XML alone maps
# both extensions, in any case.
mkdir -p "$T/mime/packages" && cp "$ROOT/usr/share/mime/packages/loftmark.xml" "$T/mime/packages/"
update-mime-database "$T/mime" >/dev/null 2>&1 || fail "update-mime-database refuses the package's XML"
for pair in 'application/x-quillet-ugu:*.ugu' 'application/x-quillet-psn:*.psn'; do
  grep -qF ":$pair" "$T/mime/globs2" && ok "MIME type $pair" || fail "globs2 lacks $pair"
done
# The icons are the sizes their folders say.
for size in 48 256; do
  file "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/loftmark.png" | grep -q "$size x $size" &&
    ok "icon ${size}px" || fail "the ${size}x${size} icon is not ${size} pixels square"
done
# The manual page formats without complaint.
if command -v man >/dev/null; then
  man_err=$(MANWIDTH=80 man -l "$ROOT/usr/share/man/man1/loftmark.1.gz" 2>&1 >/dev/null)
  [ -z "$man_err" ] && ok "the manual page formats cleanly" || fail "man: $man_err"
fi
zcat "$ROOT/usr/share/man/man1/loftmark.1.gz" >"$T/man.txt"
for word in profiles index build compare publish verify profile script next tmp type out name fast 'no\-wait' reindex trust 'server\-index' 'dry\-run' \
  yes 'password\-stdin' url settings help version XDG_CONFIG_HOME XDG_CACHE_HOME LOFTMARK_CA_FILE; do
  grep -qF -- "$word" "$T/man.txt" && ok "manual names $word" || fail "the manual page does not name $word"
done

# Read-only, as a root under /usr is to its users. A folder without write
# bits keeps even root out of the program's own files.
chmod -R a-w "$ROOT"
snapshot() { (cd "$ROOT" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort); }
snapshot >"$T/before"

H=$T/home
mkdir -p "$H" "$T/run" "$T/work"
chmod 0700 "$T/run"
cp -r "$SRC/examples/scripts" "$T/work/scripts"
LM=$ROOT/usr/bin/loftmark
run() {
  (cd "$T/work" && exec env -u DISPLAY -u WAYLAND_DISPLAY HOME="$H" XDG_CONFIG_HOME="$H/config" \
    XDG_CACHE_HOME="$H/cache" XDG_RUNTIME_DIR="$T/run" "$@")
}
next="$(($(date +%Y) + 1)) 4 1 9 0"

out=$(run "$LM" --version) || fail "--version exits with $?"
[[ "$out" == "loftmark $version"* ]] && ok "--version names $version" || fail "--version says: $out"
[[ "$out" == *"$H/config/loftmark"* && "$out" == *"$H/cache/loftmark"* ]] && ok "--version names the XDG folders" ||
  fail "--version does not name the XDG folders: $out"

out=$(run "$LM" profiles) || fail "profiles exits with $?"
[ "$out" = "$(printf '000\tDefault\t\t')" ] && ok "profiles lists Default" || fail "profiles says: $(printf '%q' "$out")"

run "$LM" index --script scripts/Sample.ugu --next "$next" >/dev/null || fail "index exits with $?"
[ -s "$T/work/scripts/Sample/DAT/index.fet" ] && ok "index wrote DAT/index.fet" || fail "no DAT/index.fet"

run "$LM" build --script scripts/Sample.ugu --type all --out dist --name s --next "$next" >"$T/build.out" 2>&1 ||
  { cat "$T/build.out" >&2; fail "build exits with an error"; }
for arc in s.lzh s.exe s.qsc; do [ -s "$T/work/dist/$arc" ] || fail "build wrote no dist/$arc"; done
lhasa t "$T/work/dist/s.lzh" >/dev/null 2>&1 && ok "lhasa tests s.lzh" || fail "lhasa refuses s.lzh"
7zz t "$T/work/dist/s.exe" >/dev/null 2>&1 && ok "7-Zip tests s.exe" || fail "7-Zip refuses s.exe"
cabextract -t "$T/work/dist/s.qsc" >/dev/null 2>&1 && ok "cabextract tests s.qsc" || fail "cabextract refuses s.qsc"
lhasa l "$T/work/dist/s.lzh" | grep -q 'install.txt' && ok "s.lzh holds install.txt" || fail "s.lzh lacks install.txt"

# A script without an archive folder: the archives go to the home folder,
# not to the read-only program folder.
run "$LM" build --script scripts/Sample.ugu --type lzh --next "$next" >"$T/build2.out" 2>&1 ||
  { cat "$T/build2.out" >&2; fail "build without --out exits with an error"; }
[ -s "$H/sample.lzh" ] && ok "the archive without a folder went to HOME" || fail "no $H/sample.lzh: $(cat "$T/build2.out")"

# The window opened with a script: it becomes the current profile's script,
# and the profiles are saved to the XDG folder when the window closes.
window_ok=0
for wait in 2 5 10; do
  rm -f "$H/config/loftmark/lfup.ini"
  # Started straight from a subshell that execs it, so that $! is the program.
  (cd "$T/work" && exec env -u DISPLAY -u WAYLAND_DISPLAY HOME="$H" XDG_CONFIG_HOME="$H/config" \
    XDG_CACHE_HOME="$H/cache" XDG_RUNTIME_DIR="$T/run" QT_QPA_PLATFORM=offscreen \
    "$LM" "$T/work/scripts/Sample.ugu") >"$T/window.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do ls "$T/run"/loftmark-*.lock >/dev/null 2>&1 && break; sleep 0.1; done
  sleep "$wait"
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  # A termination before the window's handler was in place ends the process
  # without saving: try again with more time.
  [ "$status" -eq 143 ] && continue
  [ "$status" -eq 0 ] || { cat "$T/window.log" >&2; break; }
  window_ok=1
  break
done
if [ "$window_ok" = 1 ] && grep -qaF "ugu(000)=$T/work/scripts/Sample.ugu" "$H/config/loftmark/lfup.ini"; then
  ok "the window took the script of its argument and saved it in the XDG folder"
else
  fail "the window with a .ugu argument did not keep the script (status $status): $(cat "$H/config/loftmark/lfup.ini" 2>&1)"
fi

# Nothing under the root changed; the files are in the user's folders.
snapshot >"$T/after"
diff "$T/before" "$T/after" >"$T/root.diff" && ok "nothing written under the package's root" ||
  { cat "$T/root.diff" >&2; fail "the installed copy wrote under its root"; }
# Each build works in a folder of its own below builds/ in the cache
# folder, removed when the build ends.
[ -d "$H/cache/loftmark/builds" ] && ok "the builds' working folders are in the cache folder" ||
  fail "no builds/ in $H/cache/loftmark"
left=$(find "$H/cache/loftmark/builds" -mindepth 1 2>/dev/null || true)
[ -z "$left" ] && ok "the build's working folder is removed after the build" || fail "left in builds/: $left"
for f in install.txt '$' temp; do
  [ ! -e "$H/cache/loftmark/$f" ] && ok "no $f directly in the cache folder" || fail "$f left in the cache folder"
done
[ "$(stat -c %a "$H/config/loftmark")" = 700 ] && ok "the settings folder is the user's alone" ||
  fail "the settings folder has mode $(stat -c %a "$H/config/loftmark")"
unexpected=$(cd "$H" && find . -mindepth 1 | grep -v -e '^\./config' -e '^\./cache' -e '^\./sample\.lzh$' || true)
[ -z "$unexpected" ] && ok "only the XDG folders and the archive in HOME" || fail "unexpected in HOME: $unexpected"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all package checks passed"

#!/usr/bin/env bash
# Takes pictures of the settings window SETTING and the two chooser windows
# openform and SetDir under Xvfb (the X11 platform, 96 dpi) and stores them
# as docs/setting.png, docs/openform.png and docs/setdir.png.
#
# The window test that checks that every caption fits its control draws the
# three windows into pictures when LM_SCREENSHOT_DIR is set.
#
#   BUILD_DIR=build-x bash scripts/screenshot_settings.sh [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-docs}

if [ ! -x "$BUILD_DIR/tests/test_profiles_ui" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target test_profiles_ui
fi

mkdir -p "$OUT"
out=$(cd "$OUT" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
XDG_RUNTIME_DIR="$work" LM_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD_DIR/tests/test_profiles_ui" --gtest_filter='SettingsWindowLookTest.*' >/dev/null
for f in setting openform setdir; do echo "wrote $OUT/$f.png"; done

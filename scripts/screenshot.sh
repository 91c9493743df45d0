#!/usr/bin/env bash
# Takes a picture of the main window under Xvfb and stores it as
# docs/main-window.png.
#
# The program runs from a temporary program folder (a copy of the executable
# with a prepared lfup.ini and a small sample script), so the build's own
# program folder and its lfup.ini stay untouched.
#
#   BUILD_DIR=build-x bash scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-docs/main-window.png}

if [ ! -x "$BUILD_DIR/bin/loftmark" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target loftmark
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/run" "$work/scripts/SAMPLE/DAT/img"
chmod 700 "$work/run"
cp "$BUILD_DIR/bin/loftmark" "$BUILD_DIR/bin/loftmark-window.so" "$work/bin/"

# A sample script with its index, planned for the next update on 1 April of
# next year at 9:30.
next_year=$(( $(date +%Y) + 1 ))
printf 'sample\r\n' >"$work/scripts/SAMPLE.UGU"
printf 'x' >"$work/scripts/SAMPLE/DAT/mio00.euu"
printf 'x' >"$work/scripts/SAMPLE/DAT/img/title.bmp"
printf '#NextUpdate %s 4 1 9 30 \r\n' "$next_year" >"$work/scripts/SAMPLE/DAT/index.fet"
{
  printf 'profile(000)=サンプルスクリプト\r\n'
  printf 'ugu(000)=%s\r\n' "$work/scripts/SAMPLE.UGU"
  printf 'default(000)=1\r\n'
  printf 'profile(001)=Second script\r\n'
  printf 'ugu(001)=%s\r\n' "$work/scripts/SAMPLE.UGU"
  printf 'default(001)=0\r\n'
} | iconv -f UTF-8 -t CP932 >"$work/bin/lfup.ini"

cat >"$work/capture.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
work=$1
out=$2
XDG_RUNTIME_DIR="$work/run" "$work/bin/loftmark" >"$work/program.log" 2>&1 &
pid=$!
trap 'kill -TERM "$pid" 2>/dev/null || true' EXIT
# Wait until the window is mapped.
id=
for _ in $(seq 1 150); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Loftmark"/ {print $1; exit}')
  [ -n "$id" ] && break
  sleep 0.1
done
if [ -z "$id" ]; then
  echo "the main window did not appear" >&2
  cat "$work/program.log" >&2
  exit 1
fi
sleep 1
timeout 30 import -window "$id" "$out"
kill -TERM "$pid"
wait "$pid" || true
trap - EXIT
INNER

mkdir -p "$(dirname "$OUT")"
xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash "$work/capture.sh" "$work" "$work/shot.png"
cp "$work/shot.png" "$OUT"
echo "wrote $OUT"

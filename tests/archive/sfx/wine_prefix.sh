#!/usr/bin/env bash
# The wine prefix and the virtual display that the self-extractor tests of
# one ctest run share. Wine's first start in a prefix is slow, so the prefix
# is made once; every wine process of the run gets the same display, since
# wine's desktop process keeps the display of the process that started it.
#   start DIR   make DIR afresh, start Xvfb (its number in DIR/display), boot wine
#   stop DIR    end the wine server and Xvfb, remove DIR
set -euo pipefail
what=$1 dir=$2
wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
server=$(command -v wineserver || true)
if [ -z "$server" ] && [ -x /usr/lib/wine/wineserver ]; then server=/usr/lib/wine/wineserver; fi
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

stop() {
  if [ -d "$dir" ]; then
    if [ -n "$server" ]; then "$server" -k 2>/dev/null || true; fi
    if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; fi
    rm -rf "$dir"
  fi
}

case $what in
  start)
    for tool in "$wine:wine64" "$(command -v Xvfb || true):xvfb"; do
      if [ -z "${tool%%:*}" ]; then
        echo "${tool##*:} is missing: install it with bash scripts/install-deps.sh" >&2
        exit 1
      fi
    done
    stop
    mkdir -p "$dir"
    n=120
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! > "$dir/xvfb.pid"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then echo "Xvfb did not start on :$n" >&2; exit 1; fi
    echo ":$n" > "$dir/display"
    DISPLAY=":$n" "$wine" wineboot -i </dev/null
    ;;
  stop)
    stop
    ;;
esac

#!/usr/bin/env bash
# Takes a screenshot of the window program as a person sees it, under a
# virtual display: tools/screenshot.sh OUT.png [seconds] [program args...]
# Installs Xvfb and ImageMagick when they are missing.
set -euo pipefail
out=${1:?usage: tools/screenshot.sh OUT.png [seconds]}
wait_seconds=${2:-3}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/install-deps.sh" xvfb imagemagick x11-utils >/dev/null

display=:$(( 90 + RANDOM % 9 ))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
trap 'kill "$app" 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "${GLYPHREEL:-$here/build/bin/glyphreel}" "$@" &
app=$!
sleep "$wait_seconds"
DISPLAY=$display import -window root "$out"
echo "$out"

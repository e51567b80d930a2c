#!/usr/bin/env bash
# Screenshots of the window program as a person sees it, under a virtual
# display (installs Xvfb and ImageMagick when they are missing).
#
#   tools/screenshot.sh OUT.png [seconds]   the program as it starts
#   tools/screenshot.sh --road PREFIX       the road with the sample movie:
#        recorded and converted in the window, played in step with the
#        video, in both layouts and both colour pairs (PREFIX-*.png)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${GLYPHREEL_BIN:-$here/build/bin}
bash "$here/tools/install-deps.sh" xvfb imagemagick >/dev/null

display=:$(( 90 + RANDOM % 9 ))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
app=
trap '[ -n "$app" ] && kill "$app" 2>/dev/null; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb

if [ "${1:-}" = "--road" ]; then
  prefix=${2:?usage: tools/screenshot.sh --road PREFIX}
  frames=$(mktemp -d)
  "$bin/glyphreel-showcase" "$bin/samples/sample.avi" "$frames" "$prefix"
  rm -rf "$frames"
  exit 0
fi

out=${1:?usage: tools/screenshot.sh OUT.png [seconds]}
"$bin/glyphreel" &
app=$!
sleep "${2:-3}"
import -window root "$out"
echo "$out"

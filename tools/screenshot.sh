#!/usr/bin/env bash
# Screenshots of the window program as a person sees it, under a virtual
# display (installs Xvfb, openbox and ImageMagick when they are missing).
#
#   tools/screenshot.sh OUT.png [seconds]   the program as it starts
#   tools/screenshot.sh --road PREFIX       the road with the sample movie:
#        recorded and converted in the window, played in step with the
#        video, in both layouts and both colour pairs (PREFIX-*.png)
#   tools/screenshot.sh --pages PREFIX      each option page and each dialog
#        at the default 640 x 480, in the language of the environment
#        (LANG=en_US.UTF-8 for English)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${GLYPHREEL_BIN:-$here/build/bin}
bash "$here/tools/install-deps.sh" xvfb openbox imagemagick >/dev/null

# A display number of the server's own choosing, never one in use.
exec {numbers}< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb <&$numbers
read -r number <&$numbers
app=
trap '[ -n "$app" ] && kill "$app" 2>/dev/null; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=:$number QT_QPA_PLATFORM=xcb

if [ "${1:-}" = "--pages" ]; then
  # Framed by a window manager, as on a desktop: the default size is the outer size.
  openbox --sm-disable >/dev/null 2>&1 &
  app=$!
  sleep 1
  "$bin/glyphreel-showcase" --pages "${2:?usage: tools/screenshot.sh --pages PREFIX}"
  exit 0
fi

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

#!/usr/bin/env bash
# Installs, as root on a Debian 12 machine, the Debian packages that Glyphreel
# needs to build, test and run, and only those that are missing. Safe to run
# again: with everything present it does nothing and touches no package list.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build make pkg-config
  # window toolkit (Widgets, Gui with its JPEG plugin), sound output
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6
  # Qt's own texts (file dialogs, Yes and No) in the Chinese window
  qt6-translations-l10n
  # video decoding and the test-video encoder
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # tests
  libgtest-dev libgmock-dev
  # the fuzz targets: clang with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the CJK monospace font the window's "宋体" maps to: one double-byte character is two columns
  fonts-wqy-zenhei
  # the Song-style face every cell of a character movie is drawn with; the fine
  # picture's committed ink measurements are of this face
  fonts-noto-cjk
  # a sound server for the test that plays through a real audio sink
  pulseaudio
  # the window tests that need a real X session with a window manager
  # (frames, minimize and restore): a virtual display and a small manager
  xvfb openbox x11-utils
  # the output-form tests: a real browser plays the page; LibreOffice Calc
  # plays the workbook; libgsf, xlrd and olefile read the workbook back
  chromium
  libreoffice-calc python3-uno
  libgsf-bin python3-xlrd python3-olefile
  # the video-export benchmark: the ffmpeg program encodes the same frames as
  # the encoding floor (the export itself goes through the libraries)
  ffmpeg
  # the package and its checks: lintian, the desktop file and AppStream
  # validators, bash completion (to try ours), the English window's translation tools
  dpkg-dev fakeroot lintian desktop-file-utils appstream bash-completion qt6-l10n-tools
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"

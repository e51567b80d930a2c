#!/usr/bin/env bash
# Checks the Debian package end to end, as root on Debian 12:
#   1. lintian reports no errors; the desktop file and the AppStream metadata
#      validate;
#   2. `apt install ./glyphreel_*.deb` installs it;
#   3. the installed glyphreel-cli makes a character movie from the sample,
#      the installed window starts offscreen with a scratch HOME, settings go
#      to $XDG_CONFIG_HOME/glyphreel/ and nothing is written under the prefix;
#   4. removing the package leaves none of its files behind.
# The package is removed again however the check ends. Where apt cannot run
# (not root, no apt) the check is skipped with a message.
#
#   tools/package-check.sh RELEASE_DIR    (make package-check builds the package first)
set -euo pipefail

release_dir=${1:-build-release}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
app_id=org.example.glyphreel

fail() {
  echo "package-check: FAILED: $*" >&2
  exit 1
}
step() { echo "package-check: $*"; }

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null || ! command -v dpkg >/dev/null; then
  echo "package-check: SKIPPED: installing a package needs root and apt (Debian); nothing was checked"
  exit 0
fi

deb=$(ls -t "$release_dir"/glyphreel_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no glyphreel_*.deb in $release_dir (run make deb)"
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
sample=$release_dir/bin/samples/sample.avi
[ -f "$sample" ] || fail "no sample movie at $sample"
sample=$(cd "$(dirname "$sample")" && pwd)/$(basename "$sample")

# ---- 1. lint and validate ---------------------------------------------------------
step "lintian $deb"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
step "desktop-file-validate, appstreamcli validate"
desktop-file-validate "$source_dir/packaging/$app_id.desktop" || fail "desktop file"
appstreamcli validate --no-net --pedantic "$source_dir/packaging/$app_id.metainfo.xml" ||
  fail "AppStream metadata"

# One check at a time on this machine: the package is system-wide.
exec 9>/run/lock/glyphreel-package-check.lock
flock 9

scratch=$(mktemp -d /tmp/glyphreel-package-check.XXXXXX)
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"; }
installed() { dpkg-query -W -f='${Status}' glyphreel 2>/dev/null | grep -q 'install ok installed'; }
cleanup() {
  if installed; then apt_get remove --purge glyphreel >/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
if installed; then
  step "removing a glyphreel package left installed"
  apt_get remove --purge glyphreel >/dev/null
fi

# ---- 2. install -------------------------------------------------------------------
step "apt install $deb"
apt_get install "$deb" >/dev/null || fail "apt install"
installed || fail "the package is not installed after apt install"
dpkg-query -L glyphreel >"$scratch/files"
for f in /usr/bin/glyphreel /usr/bin/glyphreel-cli /usr/share/glyphreel/Web.dll /usr/share/glyphreel/xls.dll \
  /usr/share/glyphreel/Help.txt /usr/share/glyphreel/Help_en.txt /usr/share/glyphreel/Kinograf.ini \
  /usr/share/applications/$app_id.desktop \
  /usr/share/metainfo/$app_id.metainfo.xml /usr/share/icons/hicolor/48x48/apps/$app_id.png \
  /usr/share/man/man1/glyphreel.1.gz /usr/share/man/man1/glyphreel-cli.1.gz \
  /usr/share/bash-completion/completions/glyphreel-cli /usr/share/doc/glyphreel/copyright \
  /usr/share/doc/glyphreel/changelog.gz; do
  [ -e "$f" ] || fail "$f is not installed"
done
desktop-file-validate /usr/share/applications/$app_id.desktop || fail "installed desktop file"
/usr/bin/glyphreel --version | grep -q '^Glyphreel ' || fail "glyphreel --version"
/usr/bin/glyphreel --help | grep -q 'usage: glyphreel' || fail "glyphreel --help"
man -l /usr/share/man/man1/glyphreel-cli.1.gz >/dev/null 2>&1 || fail "the manual page of glyphreel-cli does not format"
bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null;
  source /usr/share/bash-completion/completions/glyphreel-cli;
  COMP_WORDS=(glyphreel-cli co); COMP_CWORD=1; COMP_LINE="glyphreel-cli co"; COMP_POINT=${#COMP_LINE};
  _glyphreel_cli glyphreel-cli co glyphreel-cli; [ "${COMPREPLY[*]}" = convert ]' ||
  fail "bash completion of glyphreel-cli's commands"

# ---- 3. the installed programs at work --------------------------------------------
home=$scratch/home
mkdir -p "$home"
listing() { find /usr/share/glyphreel /usr/bin -newer "$scratch/files" -print 2>/dev/null | sort; }
before=$(listing)

step "glyphreel-cli make on the sample"
work=$home/work
HOME=$home /usr/bin/glyphreel-cli make "$sample" "$work" --fps 5 --size 80x60 --keep-frames >"$scratch/make.out" ||
  fail "glyphreel-cli make: $(cat "$scratch/make.out")"
movie=$work/sample.txt
[ -s "$movie" ] || fail "glyphreel-cli make wrote no movie at $movie"
/usr/bin/glyphreel-cli info "$movie" | grep -q '"standard":true' || fail "the movie made is not playable"
# The page form reads its template from the installed share folder (the
# bitmaps kept by make are its input).
HOME=$home /usr/bin/glyphreel-cli convert "$work" --form html --name page.avi >/dev/null ||
  fail "glyphreel-cli convert --form html with the installed template"
[ -s "$work/page.htm" ] || fail "no page written"

step "the window, offscreen, from the installed location"
config=$home/config
status=0
HOME=$home XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
  timeout -s TERM 8 /usr/bin/glyphreel "$movie" >"$scratch/window.out" 2>&1 || status=$?
case $status in
  0 | 124 | 143) ;;  # closed, or still running when the time was up
  *) fail "glyphreel ended with status $status: $(cat "$scratch/window.out")" ;;
esac
[ -f "$config/glyphreel/Kinograf.ini" ] || fail "no settings file in \$XDG_CONFIG_HOME/glyphreel/"
cmp -s "$config/glyphreel/Kinograf.ini" /usr/share/glyphreel/Kinograf.ini ||
  grep -q '\[Setting\]' "$config/glyphreel/Kinograf.ini" || fail "the settings file holds neither the defaults nor settings"
after=$(listing)
[ "$before" = "$after" ] || fail "written under the install prefix: $(comm -13 <(echo "$before") <(echo "$after"))"
for stray in /usr/bin/dll /usr/bin/output /usr/share/output /usr/output; do
  [ ! -e "$stray" ] || fail "$stray was made"
done

# ---- 4. remove --------------------------------------------------------------------
step "apt remove"
apt_get remove --purge glyphreel >/dev/null || fail "apt remove"
! installed || fail "still installed after apt remove"
while read -r f; do
  [ -d "$f" ] && continue
  [ ! -e "$f" ] || fail "$f is left after removal"
done <"$scratch/files"
[ ! -e /usr/share/glyphreel ] || fail "/usr/share/glyphreel is left after removal"
[ -f "$config/glyphreel/Kinograf.ini" ] || fail "the user's settings went with the package"

step "passed"

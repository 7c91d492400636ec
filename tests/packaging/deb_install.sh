#!/usr/bin/env bash
# The Debian package as a teacher gets it: CPack builds it, lintian finds
# no error or warning in it, apt installs it with its dependencies, the
# program starts the way the menu entry starts it (in the entry's Path
# folder) on a virtual X server, opens its window with its icon, closes,
# and the package is removed again.
#
# Usage: deb_install.sh <build folder> <xwindow helper> <AppStream data>
# Exits 77, which CTest counts as skipped, when not root or when apt cannot
# install packages on this machine; the package's own faults fail.
set -euo pipefail

build=$1
xwindow=$2
metainfo=$3
title="Quiralto - Versão 1.0"
entry=/usr/share/applications/org.example.Quiralto.desktop

source "$(dirname "${BASH_SOURCE[0]}")/verdicts.sh"
seconds_since() { echo "$(( ($(date +%s%N) - $1) / 1000000 )) ms"; }

work=$(mktemp -d)
installed=0
program=
xserver=
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    [ -z "$xserver" ] || kill "$xserver" 2>/dev/null || true
    if [ "$installed" -eq 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quiralto >"$work/purge.log" 2>&1 ||
            { echo "could not remove the package:"; cat "$work/purge.log"; }
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Built.
start=$(date +%s%N)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack could not build the package"; }
debs=("$work"/quiralto_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "cpack made no quiralto_*.deb"
echo "built $(basename "$deb"), $(stat -c %s "$deb") bytes, in $(seconds_since "$start")"

# Debian's own checks, as its archive would run them.
command -v lintian >/dev/null || fail "no lintian on this machine (Debian package lintian)"
lintian --allow-root --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian finds errors or warnings in the package"; }
echo "lintian: no errors or warnings"

# The changelog, the AppStream data and the package name one version.
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/quiralto/changelog.gz >"$work/changelog.gz"
changelog_version=$(zcat "$work/changelog.gz" | sed -n '1s/^quiralto (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's latest entry is for version '$changelog_version', the package is $version"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -1)
[ "$release" = "$version" ] || fail "the AppStream data's latest release is $release, the package is $version"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6svg6 libfluidsynth3 fluid-soundfont-gm fonts-dejavu-core \
              fonts-crosextra-carlito; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "no apt-get on this machine"
if dpkg-query -W -f='${Status}' quiralto 2>/dev/null | grep -q 'ok installed'; then
    skip "quiralto is already installed here; the test will not replace it"
fi
[ ! -e /usr/bin/quiralto ] || skip "/usr/bin/quiralto exists; the test will not overwrite it"

# Installed. A dependency apt has never heard of is the package's fault;
# anything else apt cannot do (no package lists, no network) is this
# machine's.
if ! apt-get install --simulate -y "$deb" >"$work/simulate.log" 2>&1; then
    compgen -G '/var/lib/apt/lists/*_Packages' >/dev/null || skip "apt has no package lists (apt-get update)"
    for name in $(sed -E 's/\([^)]*\)//g; s/[,|]/ /g' <<<"$depends"); do
        apt-cache show "$name" >/dev/null 2>&1 || fail "the package depends on $name, which apt does not know"
    done
    tail -5 "$work/simulate.log"
    skip "apt cannot resolve the package's dependencies on this machine"
fi
start=$(date +%s%N)
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/install.log" 2>&1 ||
    { tail -5 "$work/install.log"; skip "apt could not install the package (no network?)"; }
installed=1
echo "installed with apt in $(seconds_since "$start")"

[ -f "$entry" ] || fail "no menu entry at $entry"
folder=$(sed -n 's/^Path=//p' "$entry")
command=$(sed -n 's/^Exec=//p' "$entry")
[ "$folder" = /usr/share/quiralto/scales ] || fail "the menu entry starts the program in $folder"
count=$(find "$folder" -maxdepth 1 -name '*.MID' | wc -l)
[ "$count" -eq 45 ] || fail "$count scale files in $folder, not 45"
[ "$(command -v "$command")" = /usr/bin/quiralto ] || fail "Exec=$command is not the installed program"

# Started as the menu starts it, on a private X server.
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xserver=$!
for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

start=$(date +%s%N)
(cd "$folder" && exec "$command") >"$work/program.log" 2>&1 &
program=$!
window=$("$xwindow" wait-map "$title" 10000) || { cat "$work/program.log"; fail "the window never appeared"; }
echo "window \"$title\" mapped $(seconds_since "$start") after the start"

icons=$(xprop -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' || true)
[ -n "$icons" ] || fail "the window has no icon (_NET_WM_ICON is empty)"
echo "window icon sizes: $(tr '\n' ' ' <<<"$icons")"
wm_class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*", "\(.*\)"$/\1/p')
[ "$wm_class" = "$(sed -n 's/^StartupWMClass=//p' "$entry")" ] ||
    fail "the window's class $wm_class does not match the menu entry's StartupWMClass"
[ "$(readlink "/proc/$program/cwd")" = "$folder" ] || fail "the program runs outside its scale folder"

"$xwindow" close "$window"
for _ in $(seq 50); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program" 2>/dev/null; then
    fail "the program did not end when its window was closed"
fi
wait "$program" || fail "the program ended with status $?"
program=

# Removed.
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quiralto >"$work/purge.log" 2>&1 ||
    { cat "$work/purge.log"; fail "apt could not remove the package"; }
installed=0
[ ! -e /usr/bin/quiralto ] && [ ! -e /usr/share/quiralto ] && [ ! -e "$entry" ] ||
    fail "files are left behind after removal"
echo "PASS: built, installed, started from the menu entry's folder with its icon, and removed"

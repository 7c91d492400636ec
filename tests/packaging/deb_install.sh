#!/usr/bin/env bash
# The Debian package as a teacher gets it: lintian finds no error or warning
# in it or its source, it depends on what the program opens at run time,
# apt installs it with its dependencies, the program starts the way the menu
# entry starts it (in the entry's Path folder) on a virtual X server, opens
# its window with its icon, closes, and the package is removed again.
#
# Usage: deb_install.sh <package folder> <xwindow helper> <AppStream data>
# The package folder holds what dpkg-buildpackage made (deb_reproducible.sh).
# Exits 77, which CTest counts as skipped, when not root or when apt cannot
# install packages on this machine; the package's own faults fail.
set -euo pipefail

packages=$1
xwindow=$2
metainfo=$3
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
        remove_package || echo "could not remove the package"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

debs=("$packages"/quiralto_*.deb)
deb=${debs[0]}
changes=$(echo "$packages"/quiralto_*.changes)
[ -f "$deb" ] && [ -f "$changes" ] || fail "no quiralto_*.deb and .changes in $packages"

# Debian's own checks, as its archive would run them.
command -v lintian >/dev/null || fail "no lintian on this machine (Debian package lintian)"
lintian --allow-root --fail-on error,warning "$changes" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian finds errors or warnings in the packages"; }
echo "lintian: no errors or warnings"

# The AppStream data and the window name the package's version.
version=$(dpkg-deb -f "$deb" Version)
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -1)
[ "$release" = "$version" ] || fail "the AppStream data's latest release is $release, the package is $version"
title="Quiralto - Versão $version"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6svg6 fluid-soundfont-gm fonts-dejavu-core \
              fonts-crosextra-carlito; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
# FluidSynth is opened by name at run time, out of dpkg-shlibdeps' sight: a
# package the package depends on must hold the file the program names.
library=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/quiralto | grep -ao 'libfluidsynth\.so\.[0-9]*' | head -1)
[ -n "$library" ] || fail "the program names no libfluidsynth.so.N to open"
holders=$(dpkg-query -S "*/$library" 2>/dev/null | sed 's/[:,].*//' | sort -u)
[ -n "$holders" ] || fail "no package on this machine holds $library"
grep -Eq "(^|, )($(paste -sd'|' <<<"$holders"))( |,|$)" <<<"$depends" ||
    fail "the program opens $library, which $holders holds, but the package does not depend on it: $depends"
echo "$library comes with the dependency on $holders"

may_install

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
remove_package || fail "apt could not remove the package"
installed=0
[ ! -e /usr/bin/quiralto ] && [ ! -e /usr/share/quiralto ] && [ ! -e "$entry" ] ||
    fail "files are left behind after removal"
echo "PASS: built, installed, started from the menu entry's folder with its icon, and removed"

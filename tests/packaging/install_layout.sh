#!/usr/bin/env bash
# What `cmake --install` lays out, installed into a scratch prefix: the
# program, its 45 scale files, a menu entry that starts it beside them, the
# icon the entry names, AppStream data that launches that entry, and a
# manual page. The Debian tools check the menu entry and the AppStream data
# as software centres and desktops will read them.
#
# Usage: install_layout.sh <build folder>
set -euo pipefail

build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

desktop_id=org.example.Quiralto
entry=$prefix/share/applications/$desktop_id.desktop
metainfo=$prefix/share/metainfo/$desktop_id.metainfo.xml
field() { sed -n "s/^$1=//p" "$entry"; }

[ -x "$prefix/bin/quiralto" ] || fail "no program in bin/"
[ -f "$entry" ] || { echo "FAIL: no menu entry"; exit 1; }

desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the AppStream data"

# The menu starts the program in the folder that holds its scale files.
scales=$(field Path)
[ "$scales" = "$prefix/share/quiralto/scales" ] || fail "Path=$scales is not the installed scale folder"
count=$(find "$scales" -maxdepth 1 -name '*.MID' | wc -l)
[ "$count" -eq 45 ] || fail "$count scale files in $scales, not 45"
for form in Prim Harm Mel; do
    [ -f "$scales/Mi $form.MID" ] || fail "no \"Mi $form.MID\" among the scale files"
done

[ "$(field Exec)" = quiralto ] || fail "Exec=$(field Exec) does not start the installed program"
[ -x "$prefix/bin/$(field Exec)" ] || fail "Exec names no installed program"
icon=$prefix/share/icons/hicolor/scalable/apps/$(field Icon).svg
[ -f "$icon" ] || fail "Icon=$(field Icon) names no installed icon"
grep -q '<svg' "$icon" || fail "the icon is no SVG image"
grep -q "<launchable type=\"desktop-id\">$desktop_id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream data launches another entry than $desktop_id.desktop"

manual=$prefix/share/man/man1/quiralto.1
if [ -f "$manual" ]; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$manual" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "the manual page does not format cleanly: $warnings"
    grep -q '/usr/share/quiralto/scales' "$manual" || fail "the manual page does not say where the menu starts it"
else
    fail "no manual page in share/man/man1"
fi

[ "$failures" -eq 0 ] || exit 1
echo "PASS: menu entry, AppStream data, icon, manual page and 45 scale files in place"

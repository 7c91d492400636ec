#!/usr/bin/env bash
# The Windows installer as a teacher and a school's administrator use it,
# under Wine, in a fresh Wine prefix: a silent install, without the switch
# for all users, puts the program, its piano and licences under
# %LOCALAPPDATA%\Programs\Quiralto, a Start-menu shortcut "Quiralto" with
# the menu entry's comment, whose working folder holds the 45 scale files,
# and an entry in the user's Apps & features list, and nothing for the whole
# machine; the program's version resource and the entry both give the
# version; <program check>, when given, then runs with the installed
# program and that working folder; the silent uninstall, run as the entry
# says, leaves none of its files, its shortcut or its entry, and nothing
# else changed.
#
# Usage: windows_installer.sh [<program check> <arguments>...]
# with QUIRALTO_WINDOWS_INSTALLER naming the installer and
# QUIRALTO_WINDOWS_VERSION the version it installs. The program check runs with WINEPREFIX set to the prefix, and
# QUIRALTO_INSTALLED_PROGRAM and QUIRALTO_INSTALLED_FOLDER to the installed
# program and the shortcut's working folder, as Linux paths.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/verdicts.sh"
setup=${QUIRALTO_WINDOWS_INSTALLER:-}
version=${QUIRALTO_WINDOWS_VERSION:-}
[ -n "$setup" ] && [ -n "$version" ] || skip "no Windows installer named (scripts/windows names it)"
command -v wine >/dev/null || skip "no wine on this machine (Debian packages wine, wine64)"

export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
# The build's way of running Windows programs makes the prefix as a new
# Windows user's.
wine_run=$(dirname "$0")/../../cmake/wine-run
"$wine_run" cmd /c exit

user=$WINEPREFIX/drive_c/users/$(id -un)
folder=$user/AppData/Local/Programs/Quiralto
shortcut="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quiralto.lnk"
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quiralto'
# Every file of the prefix but Wine's registry and the temporary files.
files_of_prefix() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./users/*/Temp -prune -o -path ./windows/temp -prune -o -print |
        LC_ALL=C sort)
}
entry_value() {
    wine reg query "$entry" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"
}

files_of_prefix > "$WINEPREFIX/before"
wine "$setup" /S
wineserver -w
[ -f "$folder/quiralto.exe" ] || fail "no quiralto.exe in $folder"
resource_version=$(strings -el -n3 "$folder/quiralto.exe" | grep -A1 -x ProductVersion | tail -1)
[ "$resource_version" = "$version" ] || fail "quiralto.exe says it is version '$resource_version', not $version"
[ -s "$folder/licencas/LICENCAS.txt" ] || fail "no licences in $folder/licencas"
[ -f "$shortcut" ] || fail "no Start-menu shortcut at $shortcut"
[ -z "$(ls -A "$WINEPREFIX/drive_c/Program Files" | grep -i quiralto)" ] || fail "installed into Program Files"
! wine reg query "${entry/HKCU/HKLM}" >/dev/null 2>&1 || fail "an entry for the whole machine"

# The shortcut's target and working folder, from the link file itself:
# Wine's own shortcut object cannot read them back.
IFS=$'\t' read -r target working comment < <(python3 - "$shortcut" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
flags = struct.unpack_from('<I', data, 0x14)[0]
at = 0x4C
if flags & 0x1:  # the target as an item list
    at += 2 + struct.unpack_from('<H', data, at)[0]
info = at  # the target as a path
target = data[info + struct.unpack_from('<I', data, info + 16)[0]:].split(b'\0')[0].decode('latin-1')
at += struct.unpack_from('<I', data, at)[0]
strings = {}
width = 2 if flags & 0x80 else 1
for bit in (0x4, 0x8, 0x10):  # comment, relative path, working folder
    if flags & bit:
        count = struct.unpack_from('<H', data, at)[0]
        strings[bit] = data[at + 2:at + 2 + count * width].decode('utf-16-le' if width == 2 else 'latin-1')
        at += 2 + count * width
print(target, strings.get(0x10, ''), strings.get(0x4, ''), sep='\t')
EOF
)
target=$(winepath -u "$target" 2>/dev/null)
working=$(winepath -u "$working" 2>/dev/null)
[ "$target" -ef "$folder/quiralto.exe" ] || fail "the shortcut starts $target, not $folder/quiralto.exe"
scales=$(find "$working" -maxdepth 1 -name '*.MID' | wc -l)
[ "$scales" -eq 45 ] || fail "the shortcut's working folder $working holds $scales scale files, not 45"
desktop_comment=$(sed -n 's/^Comment\[pt_BR\]=//p' "$(dirname "$0")/../../packaging/org.example.Quiralto.desktop.in")
[ "$comment" = "$desktop_comment" ] || fail "the shortcut's comment is '$comment', the menu entry's '$desktop_comment'"
echo "shortcut: $target in $working, beside $scales scale files"

[ "$(entry_value DisplayName)" = Quiralto ] || fail "Apps & features entry: DisplayName '$(entry_value DisplayName)'"
[ "$(entry_value DisplayVersion)" = "$version" ] || fail "Apps & features entry: version '$(entry_value DisplayVersion)'"
[ -n "$(entry_value Publisher)" ] || fail "Apps & features entry: no publisher"
[[ "$(entry_value DisplayIcon)" == *quiralto.exe,0 ]] || fail "Apps & features entry: icon '$(entry_value DisplayIcon)'"
[ $(( $(entry_value EstimatedSize) )) -gt 1000 ] || fail "Apps & features entry: size '$(entry_value EstimatedSize)'"

[ $# -eq 0 ] || QUIRALTO_INSTALLED_PROGRAM=$target QUIRALTO_INSTALLED_FOLDER=$working "$@"

# The command line as a deployment tool reads it: a quoted program and its switches.
eval "uninstall=($(entry_value QuietUninstallString))"
[ ${#uninstall[@]} -gt 0 ] || fail "Apps & features entry: no silent uninstall"
wine "${uninstall[@]}"
wineserver -w
wine reg query "$entry" >/dev/null 2>&1 && fail "the Apps & features entry is still there"
files_of_prefix > "$WINEPREFIX/after"
left=$(diff "$WINEPREFIX/before" "$WINEPREFIX/after" || true)
[ -z "$left" ] || fail "the uninstall leaves the prefix changed: $left"
echo "installed, found and removed again: no file, shortcut or entry left"

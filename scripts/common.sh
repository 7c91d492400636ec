# Shared by scripts/run and scripts/test: installs what the build needs and
# builds with a CMake preset. Source it; don't run it.

set -euo pipefail

QUIRALTO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Runs `apt-get <command> <arguments...>` as the administrator (through
# sudo when not), on fresh package lists.
apt_get() {
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@" -y -qq --no-install-recommends >/dev/null
}

# Installs those of the given Debian packages that are not installed yet.
install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    apt_get install "${missing[@]}"
}

# Installs what building, testing and running need on Debian 12: the build
# dependencies in debian/control, as dpkg-checkbuilddeps finds them missing.
install_build_dependencies() {
    install_missing dpkg-dev
    dpkg-checkbuilddeps "$QUIRALTO_ROOT/debian/control" 2>/dev/null && return 0
    echo "Installing the build dependencies of debian/control"
    apt_get build-dep "$QUIRALTO_ROOT"
}

# Configures (once) and builds the preset.
build_preset() {
    local preset=$1
    cd "$QUIRALTO_ROOT"
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" --log-level=WARNING >/dev/null
    fi
    cmake --build --preset "$preset"
}

# Shared by scripts/run and scripts/test: installs what the build needs and
# builds with a CMake preset. Source it; don't run it.

set -euo pipefail

QUIRALTO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running need on Debian 12. Carlito (in
# fonts-crosextra-carlito) is the window's font: its metrics match the layout.
# The tooltip speaks to X11 through xcb's SHAPE and XFixes libraries; the
# X11 helpers that the end-to-end tests build beside the program send their
# input through XTEST.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev
                libfluidsynth-dev fluid-soundfont-gm fonts-dejavu-core fonts-crosextra-carlito
                libxcb1-dev libxcb-shape0-dev libxcb-xfixes0-dev libxtst-dev)

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

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
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

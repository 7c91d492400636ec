# Builds what the Windows program is built against and cached outside the
# clone: Qt for Windows from Debian's own source of the Qt installed here,
# with our fixes, and FluidSynth from the release kept in ../shared/vendor.
# Each is built once per set of versions, switches and fixes, into a folder
# named after them under ~/.cache/quiralto/windows/. Source it after
# common.sh; don't run it.

WINDOWS_SDK_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/quiralto/windows
WINDOWS_TOOLCHAIN_FILE=$QUIRALTO_ROOT/cmake/mingw-w64-x86_64.cmake
WINDOWS_VENDOR=${QUIRALTO_VENDOR:-$QUIRALTO_ROOT/../shared/vendor}
WINDOWS_JOBS=${WINDOWS_JOBS:-2}

FLUIDSYNTH_VERSION=2.6.0
FLUIDSYNTH_SHA256=8007151f979e8470eb7a1cd2ed6bddf00e3f640c08cbb05d302afd31ee1414c5
GCEM_VERSION=1.18.0
GCEM_SHA256=0ad5125246f5e926749a491886d33662c165d5a7708910f81133c4c2144ee64e

# The host tools (moc, rcc, uic) are the installed Debian Qt's, so the
# Windows Qt is built from exactly that version's source. Debian removed
# the tablet and SQL third-party sources; plain -no-feature-direct2d would
# break qwindows.dll, whose DirectWrite font database needs it, while
# direct2d1_1 drops only the extra plugin. Qt would look for the host's
# CMake files in /usr/lib/cmake without QT_HOST_PATH_CMAKE_DIR.
QT_CONFIGURE=(-xplatform win32-g++ -qt-host-path /usr -release -shared
              -nomake examples -nomake tests -no-opengl -no-dbus -no-icu
              -no-feature-tabletevent -no-feature-sql -no-feature-network
              -no-feature-concurrent -no-feature-xml -no-feature-direct2d1_1
              -no-feature-printsupport -no-feature-androiddeployqt
              -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-freetype)
# Our fixes to that source, in the order they apply.
QT_PATCHES=("$QUIRALTO_ROOT/scripts/windows-qt-raster-font-size.patch")

# Everything but the synthesizer and its Windows audio drivers (wasapi,
# dsound, waveout): no glib, no Linux sound servers, no file output.
FLUIDSYNTH_CONFIGURE=(-DCMAKE_BUILD_TYPE=Release -Dosal=cpp11
                      -Denable-libsndfile=off -Denable-dbus=off -Denable-readline=off
                      -Denable-openmp=off -Denable-sdl3=off -Denable-pipewire=off
                      -Denable-pulseaudio=off -Denable-jack=off -Denable-alsa=off
                      -Denable-oss=off -Denable-ladspa=off -Denable-signalsmith=off
                      -Denable-portaudio=off -Denable-midishare=off -Denable-network=off
                      -Denable-aufile=off -Denable-libinstpatch=off)

WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build patch
                        dpkg-dev xz-utils qt6-base-dev qt6-base-dev-tools)

# The cache folder name for a build: its name, its versions, the compiler's
# and a digest of the switches, so that changing any of them builds anew.
sdk_key() {
    local name=$1; shift
    local compiler digest
    compiler=$(x86_64-w64-mingw32-g++-posix -dumpversion)
    digest=$(printf '%s\n' "$@" | sha256sum | cut -c1-10)
    echo "$name-mingw$compiler-$digest"
}

# Unpacks a vendored release archive after checking its checksum.
unpack_vendored() {
    local archive=$WINDOWS_VENDOR/$1 sha256=$2 into=$3
    echo "$sha256  $archive" | sha256sum --check --quiet -
    mkdir -p "$into"
    tar -xzf "$archive" -C "$into"
}

# Fetches Debian's source of qt6-base at the installed version into the
# current folder, through a private apt state with deb-src lines made from
# this machine's own sources, so the system's apt setup stays untouched.
fetch_qt_source() {
    local version=$1 apt=$PWD/apt
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
    : >"$apt/sources.list"
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$file" >>"$apt/sources.list"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && sed 's/^Types: *deb$/Types: deb-src/' "$file" >"$apt/sources.list.d/${file##*/}"
    done
    local options=(-o "Dir::Etc::SourceList=$apt/sources.list"
                   -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                   -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
                   -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
    # A third-party source without deb-src fails its update; Debian's is
    # the one that counts, and apt-get source says so if it is missing.
    apt-get "${options[@]}" update -qq || true
    apt-get "${options[@]}" source -qq "qt6-base=$version"
}

# Builds (once) Qt for Windows and prints its folder.
windows_qt() {
    local version key prefix
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    key=$(sdk_key "qt-$version" "${QT_CONFIGURE[@]}" "$(cat "${QT_PATCHES[@]}")")
    prefix=$WINDOWS_SDK_CACHE/$key
    if [ ! -d "$prefix" ]; then
        local work=$WINDOWS_SDK_CACHE/work-$key log=$WINDOWS_SDK_CACHE/$key.log
        echo "Building Qt $version for Windows (about 15-25 minutes on 2 cores; log: $log)" >&2
        rm -rf "$work" "$prefix.partial"
        mkdir -p "$work/build"
        (
            cd "$work"
            fetch_qt_source "$version"
            local patch
            for patch in "${QT_PATCHES[@]}"; do
                patch -d qt6-base-*/ -p1 --forward --batch <"$patch"
            done
            cd build
            ../qt6-base-*/configure -prefix "$prefix.partial" "${QT_CONFIGURE[@]}" -- \
                -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN_FILE" \
                -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -G Ninja
            cmake --build . --parallel "$WINDOWS_JOBS"
            cmake --install .
        ) >"$log" 2>&1 || { tail -n 30 "$log" >&2; return 1; }
        mv "$prefix.partial" "$prefix"
        rm -rf "$work"
    fi
    echo "$prefix"
}

# Builds (once) FluidSynth for Windows and prints its folder.
windows_fluidsynth() {
    local key prefix
    key=$(sdk_key "fluidsynth-$FLUIDSYNTH_VERSION-gcem-$GCEM_VERSION" \
                  "$FLUIDSYNTH_SHA256" "$GCEM_SHA256" "${FLUIDSYNTH_CONFIGURE[@]}")
    prefix=$WINDOWS_SDK_CACHE/$key
    if [ ! -d "$prefix" ]; then
        local work=$WINDOWS_SDK_CACHE/work-$key log=$WINDOWS_SDK_CACHE/$key.log
        echo "Building FluidSynth $FLUIDSYNTH_VERSION for Windows (log: $log)" >&2
        rm -rf "$work" "$prefix.partial"
        (
            unpack_vendored "fluidsynth-$FLUIDSYNTH_VERSION.tar.gz" "$FLUIDSYNTH_SHA256" "$work"
            unpack_vendored "gcem-$GCEM_VERSION.tar.gz" "$GCEM_SHA256" "$work"
            cmake -S "$work/fluidsynth-$FLUIDSYNTH_VERSION" -B "$work/build" -G Ninja \
                  -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN_FILE" \
                  -DCMAKE_INSTALL_PREFIX="$prefix.partial" \
                  -DGCEM_INCLUDE_DIR="$work/gcem-$GCEM_VERSION/include" \
                  "${FLUIDSYNTH_CONFIGURE[@]}"
            cmake --build "$work/build" --parallel "$WINDOWS_JOBS"
            cmake --install "$work/build"
        ) >"$log" 2>&1 || { tail -n 30 "$log" >&2; return 1; }
        mv "$prefix.partial" "$prefix"
        rm -rf "$work"
    fi
    echo "$prefix"
}

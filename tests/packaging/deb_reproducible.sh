#!/usr/bin/env bash
# The Debian source package builds, and reproducibly: the commit the source
# folder has checked out, cloned into two folders and built in each with
# dpkg-buildpackage, gives a source package and the same binary package
# byte for byte. The first build runs the tests that need no desktop; the
# second skips them (DEB_BUILD_OPTIONS=nocheck), which must not change the
# package either. On a difference, diffoscope says where the packages part.
# The first build's results are left in the output folder, for the tests
# that check and install them.
#
# The program is compiled twice, and the tests once more: this is the
# suite's longest test.
#
# Usage: deb_reproducible.sh <source folder> <output folder>
# Exits 77, which CTest counts as skipped, when the source folder is no git
# checkout: there is no commit to clone.
set -euo pipefail

source=$1
output=$2

source "$(dirname "${BASH_SOURCE[0]}")/verdicts.sh"

commit=$(git -C "$source" rev-parse --verify --quiet HEAD) || skip "$source is no git checkout"
if [ -n "$(git -C "$source" status --porcelain --untracked-files=no)" ]; then
    echo "note: $source has uncommitted changes; the packages are built from commit $commit without them"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$output"

# Builds in <folder>/quiralto with the given DEB_BUILD_OPTIONS; the results
# land in <folder>. A shared clone borrows the source's objects, so the
# commit is there even when no branch of the clone's names it.
build_package() {
    local folder=$1 options=$2
    local log=$folder.log
    local start=$SECONDS
    mkdir "$folder"
    {
        git clone --quiet --shared --no-checkout "$source" "$folder/quiralto" &&
            git -C "$folder/quiralto" checkout --quiet --detach "$commit" &&
            (cd "$folder/quiralto" && DEB_BUILD_OPTIONS="$options" dpkg-buildpackage -us -uc)
    } >"$log" 2>&1 || { tail -40 "$log"; fail "dpkg-buildpackage failed in $folder (DEB_BUILD_OPTIONS=$options)"; }
    echo "built in $folder with DEB_BUILD_OPTIONS=\"$options\" in $((SECONDS - start)) s" >&2
}

build_package "$work/first" "parallel=$(nproc)"
for made in .dsc .tar.xz .deb .changes; do
    compgen -G "$work/first/quiralto_*$made" >/dev/null || fail "dpkg-buildpackage made no quiralto_*$made"
done
build_package "$work/second-build" "nocheck parallel=$(nproc)"

first=$(echo "$work"/first/quiralto_*.deb)
second=$(echo "$work"/second-build/quiralto_*.deb)
if ! cmp -s "$first" "$second"; then
    echo "the two packages differ:"
    if command -v diffoscope >/dev/null; then
        diffoscope --text - --max-report-size 200000 "$first" "$second" | head -n 300 || true
    else
        cmp "$first" "$second" || true
        echo "(diffoscope, Debian package diffoscope-minimal, would say where)"
    fi
    fail "commit ${commit:0:12} gives a different package in each folder"
fi

echo "PASS: commit ${commit:0:12} built in two folders gives the same package, $(stat -c %s "$first") bytes"
mkdir -p "$output"
find "$work/first" -maxdepth 1 -type f -name 'quiralto*' -exec mv -t "$output" {} +

#!/usr/bin/env bash
# The Debian package is reproducible: the commit the source folder has
# checked out, cloned into two folders of different names and built in each
# as the README says (a release build, then cpack), gives the same package
# byte for byte, however far apart in time the builds ran. On a difference,
# diffoscope says where the packages part.
#
# Only what the package holds is built (no tests, no benchmarks), yet the
# program is compiled twice: this is the suite's longest test.
#
# Usage: deb_reproducible.sh <source folder>
# Exits 77, which CTest counts as skipped, when the source folder is no git
# checkout: there is no commit to clone.
set -euo pipefail

source=$1

source "$(dirname "${BASH_SOURCE[0]}")/verdicts.sh"

commit=$(git -C "$source" rev-parse --verify --quiet HEAD) || skip "$source is no git checkout"
if [ -n "$(git -C "$source" status --porcelain --untracked-files=no)" ]; then
    echo "note: $source has uncommitted changes; the packages are built from commit $commit without them"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A shared clone borrows the source's objects, so the commit is there even
# when no branch of the clone's names it.
build_package() {
    local folder=$1
    local log=$work/$(basename "$folder").log
    local start=$SECONDS
    {
        git clone --quiet --shared --no-checkout "$source" "$folder" &&
            git -C "$folder" checkout --quiet --detach "$commit" &&
            cmake -S "$folder" --preset default -DBUILD_TESTING=OFF --log-level=WARNING &&
            cmake --build "$folder/build/default" &&
            (cd "$folder/build/default" && cpack -G DEB)
    } >"$log" 2>&1 || { tail -30 "$log"; fail "building the package in $folder failed"; }
    local debs=("$folder"/build/default/quiralto_*.deb)
    [ -f "${debs[0]}" ] || fail "cpack made no quiralto_*.deb in $folder"
    echo "built $(basename "${debs[0]}") in $folder in $((SECONDS - start)) s" >&2
    echo "${debs[0]}"
}

first=$(build_package "$work/first")
second=$(build_package "$work/second-build")

if cmp -s "$first" "$second"; then
    echo "PASS: commit ${commit:0:12} built in two folders gives the same package, $(stat -c %s "$first") bytes"
    exit 0
fi

echo "the two packages differ:"
if command -v diffoscope >/dev/null; then
    diffoscope --text - --max-report-size 200000 "$first" "$second" | head -n 300 || true
else
    cmp "$first" "$second" || true
    echo "(diffoscope, Debian package diffoscope-minimal, would say where)"
fi
fail "commit ${commit:0:12} gives a different package in each folder"

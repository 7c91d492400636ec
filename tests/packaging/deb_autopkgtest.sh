#!/usr/bin/env bash
# The package tries itself as Debian's archive does: autopkgtest installs it
# on this machine (the null runner) with what its tests need and runs them
# against the installed program (debian/tests). The package is removed
# again afterwards.
#
# Usage: deb_autopkgtest.sh <package folder>
# The package folder holds what dpkg-buildpackage made (deb_reproducible.sh).
# Exits 77, which CTest counts as skipped, when not root, or when quiralto
# is installed here already.
set -euo pipefail

packages=$1

source "$(dirname "${BASH_SOURCE[0]}")/verdicts.sh"

changes=$(echo "$packages"/quiralto_*.changes)
[ -f "$changes" ] || fail "no quiralto_*.changes in $packages"
command -v autopkgtest >/dev/null || fail "no autopkgtest on this machine (Debian package autopkgtest)"
may_install

work=$(mktemp -d)
cleanup() {
    remove_package || echo "could not remove the package"
    rm -rf "$work"
}
trap cleanup EXIT

# Anything short of every test run and passed fails: a skipped test (2) is
# one whose restrictions this machine did not meet.
start=$SECONDS
status=0
autopkgtest --output-dir "$work/results" "$changes" -- null >"$work/autopkgtest.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    cat "$work/autopkgtest.log"
    fail "autopkgtest ended with status $status"
fi
cat "$work/results/summary"
echo "PASS: autopkgtest ran the package's tests against it, installed, in $((SECONDS - start)) s"

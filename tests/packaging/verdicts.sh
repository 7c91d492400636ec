# How the package tests end, as CTest reads them: 77 is a skip (the
# machine cannot run the test), any other failure a failure; and when
# those that install the package into the machine may. Source it.

skip() {
    echo "SKIP: $*"
    exit 77
}

fail() {
    echo "FAIL: $*"
    exit 1
}

# Skips unless the test may install quiralto into this machine: as root,
# with apt, and with no quiralto there that it would replace.
may_install() {
    [ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
    command -v apt-get >/dev/null || skip "no apt-get on this machine"
    if dpkg-query -W -f='${Status}' quiralto 2>/dev/null | grep -q 'ok installed'; then
        skip "quiralto is already installed here; the test will not replace it"
    fi
    [ ! -e /usr/bin/quiralto ] || skip "/usr/bin/quiralto exists; the test will not overwrite it"
}

# Removes quiralto from the machine, if there, showing apt's log when it
# cannot.
remove_package() {
    local log
    log=$(DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quiralto 2>&1) || { echo "$log"; return 1; }
}

# How the package tests end, as CTest reads them: 77 is a skip (the
# machine cannot run the test), any other failure a failure. Source it.

skip() {
    echo "SKIP: $*"
    exit 77
}

fail() {
    echo "FAIL: $*"
    exit 1
}

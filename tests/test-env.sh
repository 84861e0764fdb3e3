# Sourced by test scripts: what a missing tool means (a failure in CI, a skip elsewhere).

# unavailable WHAT: stop the test for lack of WHAT.
unavailable() {
    if [ "${CI:-}" = true ]; then
        echo "FAIL: $1 (CI must have it: scripts/install-deps.sh check)" >&2
        exit 1
    fi
    echo "SKIP: $1" >&2
    exit 77
}

fail() { echo "FAIL: $*" >&2; exit 1; }

"""What a missing tool means to a Python harness, as tests/test-env.sh says it to the
shell ones: a failure in CI, a skip (status 77) elsewhere."""
import os
import sys


def unavailable(what):
    """Stops the test for lack of WHAT."""
    if os.environ.get('CI') == 'true':
        print(f'FAIL: {what} (CI must have it: scripts/install-deps.sh check)', file=sys.stderr)
        sys.exit(1)
    print(f'SKIP: {what}', file=sys.stderr)
    sys.exit(77)

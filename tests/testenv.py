"""What a missing tool means to a Python harness, as tests/test-env.sh says it to the
shell ones: a failure in CI, a skip (status 77) elsewhere."""
import os
import sys


def unavailable(what):
    ci = os.environ.get('CI') == 'true'
    hint = ' (CI must have it: scripts/install-deps.sh check)' if ci else ''
    print(f'{"FAIL" if ci else "SKIP"}: {what}{hint}', file=sys.stderr)
    sys.exit(1 if ci else 77)

"""A missing tool fails a Python harness in CI and skips it (77) elsewhere, as test-env.sh."""
import os
import sys


def unavailable(what):
    ci = os.environ.get('CI') == 'true'
    hint = ' (CI must have it: scripts/install-deps.sh check)' if ci else ''
    print(f'{"FAIL" if ci else "SKIP"}: {what}{hint}', file=sys.stderr)
    sys.exit(1 if ci else 77)

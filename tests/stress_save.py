#!/usr/bin/env python3
"""Three restores of one profile at once, round after round, some of them killed at a
random moment; after each round the profile must be the old or one run's complete content.

Usage: stress_save.py BIN      (env: LAUNCHER, an emulator prefix; ROUNDS, default 200)
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from testenv import unavailable  # noqa: E402 (found through the path set just above)

RUNS = 3  # tests/stress: each run's supplicant file wpaI.conf, and old-TARGET
KILLED = -signal.SIGKILL


def main():
    command = os.environ.get('LAUNCHER', '').split() + [os.path.abspath(sys.argv[1])]
    if shutil.which(command[0]) is None:
        unavailable(f'{command[0]} not found')
    rounds = int(os.environ.get('ROUNDS', '200'))
    faults, kills, counts = [], 0, Counter()
    with tempfile.TemporaryDirectory(prefix='stress-') as tmp:
        work = Path(tmp)
        profile = work / 'p'
        shutil.copytree(Path(__file__).resolve().parent / 'stress', work, dirs_exist_ok=True)
        olds = [(target, (work / f'old-{target}').read_bytes()) for target in ('0', '1')]

        def start(i, target, stdout=subprocess.DEVNULL):
            return subprocess.Popen(command + ['-f', f'wpa{i}.conf', '-o', 'p', '-t', target],
                                    cwd=work, stdin=subprocess.DEVNULL, stdout=stdout,
                                    stderr=subprocess.DEVNULL)

        def temps():
            return [e for e in os.listdir(work) if e.startswith('.p.')]

        # Each run's content, and how long a run takes, from runs on their own.
        news, began = {}, time.monotonic()
        for (target, old), i in ((o, i) for o in olds for i in range(RUNS)):
            profile.write_bytes(old)
            if start(i, target).wait() != 0:
                print(f'FAIL: a run on its own failed (target {target})')
                return 1
            news[target, i] = profile.read_bytes()
        span = (time.monotonic() - began) / (2 * RUNS)

        for n in range(rounds):
            target, old = olds[n % 2]
            profile.write_bytes(old)
            read_end, write_end = os.pipe()
            os.close(read_end)  # a reader that went away: SIGPIPE must not decide a status
            procs = [start(i, target, write_end) for i in range(RUNS)]
            os.close(write_end)
            victims = [p for p in procs if random.random() < 0.3]
            time.sleep(random.uniform(0, 1.5 * span))
            for p in victims:
                p.send_signal(signal.SIGKILL)
            status = [p.wait() for p in procs]
            killed = status.count(KILLED)
            kills += killed
            content = profile.read_bytes()
            owners = [i for i in range(RUNS) if news[target, i] == content]
            problems = [f'run {i} exited {s}' for i, s in enumerate(status) if s not in (0, KILLED)]
            seen = 'old' if content == old else 'new' if owners else 'neither'
            counts[seen] += 1
            problems += [what for bad, what in (
                (seen == 'old' and 0 in status, 'old content although a run exited 0'),
                (seen == 'new' and all(status[i] not in (0, KILLED) for i in owners),
                 'content of a run that reported failure'),
                (seen == 'neither', 'content neither old nor any run\'s'),
                (temps() and not killed, f'left behind: {temps()}')) if bad]
            if temps():
                clean = start(0, target).wait()
                if clean != 0 or profile.read_bytes() != news[target, 0] or temps():
                    problems.append(f'next run: status {clean}, left {temps()}')
            faults += [f'round {n}: {p}' for p in problems]
    print(f'{rounds} rounds of {RUNS} runs, {kills} killed; profile old after {counts["old"]} '
          f'rounds, one run\'s complete content after {counts["new"]}; {len(faults)} faults')
    for fault in faults[:20]:
        print('FAULT: ' + fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

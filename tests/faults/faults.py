#!/usr/bin/env python3
"""Makes each system call of a successful run fail in turn, at each of its occurrences,
with strace's fault injection, and checks what the program did about it.

The profile must afterwards hold exactly its old or its complete new content (the one
the point of failure implies), keep its mode, the exit status and messages must be those
of that failure, and no temporary file may stay behind; after a kill at most one may,
and the next run must remove it and succeed. (physmem's failing calls are case rows,
each with its injection in slow.)

Usage: faults.py kelmora BIN
Prints a table of the injection points; exits 1 on any fault, 77 if it cannot run here.
"""
import errno
import os
import re
import shutil
import subprocess
import sys
import tempfile
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..'))
from testenv import unavailable  # noqa: E402 (found through the path set just above)
CASES = os.path.join(HERE, '..', 'cases')
CALL = re.compile(r'^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+|\?)')

# The two profile formats: the line each prints when its restore cannot read the
# profile, and the one printed when the restore's own save fails (the text restore
# does not save).
TARGETS = {
    'binary': {'rff': 'TL_NetProfRFF failure\n', 'w2f': 'TL_NetProfW2F failure\n'},
    'text': {'rff': 'Orvane_NetProfRFF failure\n', 'w2f': None},
}

# What a failure of each role in a kelmora run leads to (roles: see kelmora_roles).
# "none": the tool goes on and succeeds, "stdout": the summary is lost, nothing else.
# A key ROLE:ERROR holds for that error only.
OUTCOMES = {
    'open-input': 'no-settings', 'read-input': 'no-settings', 'close-input': 'none',
    # The profile is opened once, held (without locks the run goes on unheld) and read.
    'open-profile': 'load-open', 'read-profile': 'load-read', 'flock-profile': 'none',
    'close-profile': 'none',
    # Where the owner cannot be kept (EPERM) or the rename is refused as for a bind mount,
    # the profile is written in place; other errors fail the save.
    'open-dir': 'load-open', 'ioctl-dir': 'none', 'open-temp': 'save-write', 'fchown-temp': 'none',
    'flistxattr-temp': 'save-write', 'flistxattr-profile': 'save-write',
    'ioctl-temp': 'save-write', 'ioctl-profile': 'save-write', 'renameat-temp:EXDEV': 'none',
    'flock-temp': 'none', 'close-temp': 'none', 'close-dir': 'none', 'fsync-dir:EINVAL': 'none',
    # Random bits for the temporary name fall back to the clock.
    'open-urandom': 'none', 'read-urandom': 'none', 'close-urandom': 'none',
    'write-temp': 'save-write', 'fsync-temp': 'save-write', 'fchmod-temp': 'save-write',
    'renameat-temp': 'save-write', 'fsync-dir': 'save-write',
    'read-inplace': 'save-write', 'write-inplace': 'save-write',
    'ftruncate-inplace': 'save-write', 'fsync-inplace': 'save-write',
    'write-stdout': 'stdout', 'ioctl-stdout': 'none',
}
# Roles after which the new content is in the profile: for good after a rename, and
# after an in-place write only until a reported failure puts the old bytes back.
LANDING = {'renameat-temp', 'write-inplace'}

def table(name):
    with open(os.path.join(HERE, name)) as f:
        return [line.split() for line in (raw.split('#')[0] for raw in f) if line.strip()]


def trace_events(path):
    events = []
    with open(path, errors='replace') as f:
        for line in f:
            m = CALL.match(line)
            if m:
                ret = int(m.group(3)) if m.group(3) != '?' else None
                events.append((m.group(1), m.group(2), ret))
    return events


def quoted_path(args):
    m = re.search(r'"((?:[^"\\]|\\.)*)"', args)
    return m.group(1) if m else ''


def injection(call, how, when):
    action = 'signal=KILL' if how == 'KILL' else 'error=' + how
    return f'inject={call}:{action}:when={when}'


def strace(injections, command, trace=os.devnull, **kw):
    opts = [o for inj in injections for o in ('-e', inj)]
    return subprocess.run(['strace', '-f', '-qq', '-o', trace] + opts + command,
                          stdin=subprocess.DEVNULL, capture_output=True, **kw)


def kelmora_roles(events, input_name, profile_name):
    """The role of each event of a plain run, and which save (1, 2) it belongs to: a save
    starts with its temporary file, which the in-place route tries first too."""
    is_temp = temp_pattern(profile_name).match
    fds = {1: 'stdout', 2: 'stdout'}
    save = temp = 0
    roles = []
    for call, args, ret in events:
        role = None
        if call in ('open', 'openat'):
            path = quoted_path(args)
            base = os.path.basename(path)
            if 'O_DIRECTORY' in args:
                kind = 'dir'
            elif is_temp(base):
                kind = 'temp'
                save += 1
            elif path == '/dev/urandom':
                kind = 'urandom'
            elif base == profile_name:
                kind = 'profile'
            elif base == input_name:
                kind = 'input'
            else:
                kind = 'other'
            if ret is not None and ret >= 0:
                fds[ret] = kind
                temp = ret if kind == 'temp' else temp
            role = 'open-' + kind
        elif call in ('dup', 'fcntl', 'fcntl64') and ret is not None and ret >= 0 and \
                (call == 'dup' or 'F_DUPFD' in args):
            fds[ret] = fds.get(int(args.split(',')[0]), 'other')
        elif call == 'renameat':
            role = 'renameat-temp' if is_temp(os.path.basename(quoted_path(args))) else None
            if role and ret == 0:
                fds[temp] = 'profile'  # renamed, the temporary file is the profile
        elif call in ('read', 'write', 'writev', 'fsync', 'fchmod', 'fchown', 'close', 'flock',
                      'ftruncate', 'flistxattr', 'fgetxattr', 'fsetxattr', 'ioctl'):
            kind = fds.get(int(args.split(',')[0]), 'other')
            if kind == 'profile' and (call in ('write', 'ftruncate', 'fsync') or
                                      call == 'read' and save > 0):
                kind = 'inplace'
            role = f'{call}-{kind}'
        roles.append((call, role, save))
    return roles


def expected(outcome, target, save, summary, path, source, how):
    """Status, standard output (None: any part of the summary) and standard error, whose
    reason line names the file and the injected error."""
    t = TARGETS[target]
    if outcome == 'none':
        return 0, summary, ''
    if outcome == 'stdout':
        return 0, None, ''
    why = os.strerror(getattr(errno, how, 0))
    if outcome == 'no-settings':
        return 253, '', f"kelmora: {source}: {why}\nRead WPA file failure! \n"
    reason = f'kelmora: {path}: {why}\n'
    if outcome in ('load-open', 'load-read'):
        word = 'Open' if outcome == 'load-open' else 'Read'
        return (253, f'{summary}{word} file fail - {path}\n{t["rff"]}',
                reason + "Can't restore file! \n")
    word = 'Open' if outcome == 'save-open' else 'Write'
    out = f'{summary}{word} file fail - {path}\n'
    if t['w2f'] and save == 1:
        return 253, out + t['w2f'], reason + "Can't restore file! \n"
    return 252, out, reason + "Can't write to file! \n"


def temp_pattern(profile_name):
    """Temporary files of a profile: ".NAME.RANDOM.tmp"."""
    return re.compile(r'\.' + re.escape(profile_name) + r'\.[0-9a-z]+\.tmp$')


def order_faults(name, order, roles):
    """Every save's calls in the roles ORDER names must be exactly ORDER, repeats too."""
    faults, checked = [], 0
    for save in sorted({s for _, _, s in roles}):
        seen = [role for _, role, s in roles if s == save and role in order]
        checked += bool(seen)
        if seen and seen != order:
            faults.append(f'{name} save {save}: order {" ".join(seen)}, expected {" ".join(order)}')
    return faults if checked else [f'{name}: no save made any of {" ".join(order)}']


def read_file(path):
    with open(path, 'rb') as f:
        return f.read()


def kelmora(binary):
    injections = [(row[1], row[2:]) for row in table('injections.txt') if row[0] == 'kelmora']
    scenarios = [row[1:] for row in table('scenarios.txt') if row[0] == 'kelmora']
    orders = {row[1]: row[2:] for row in table('orders.txt') if row[0] == 'kelmora'}
    carries = {row[1]: row[2:] for row in table('carries.txt') if row[0] == 'kelmora'}
    report = []  # (scenario, syscall, occurrences, runs, new, old, reported, killed, lost)
    faults = []
    for name, case, target, always in scenarios:
        case_dir = os.path.join(CASES, 'kelmora', case)
        with open(os.path.join(case_dir, 'args')) as f:
            args = f.read().splitlines()
        path = args[args.index('-o') + 1]
        source = args[args.index('-f') + 1]
        input_name = os.path.basename(source)
        old = read_file(os.path.join(case_dir, 'in', path))
        new = read_file(os.path.join(case_dir, 'out', path))
        with open(os.path.join(case_dir, 'stdout')) as f:
            summary = f.read()
        files = sorted(os.listdir(os.path.join(case_dir, 'in')))
        is_temp = temp_pattern(os.path.basename(path)).match
        always = [] if always == '-' else ['inject=' + always]
        fixed = {a.split('=')[1].split(':')[0] for a in always}

        def fresh():
            work = tempfile.mkdtemp(prefix='faults-')
            shutil.copytree(os.path.join(case_dir, 'in'), work, dirs_exist_ok=True)
            return work

        def check(point, work, proc, outcome, save, landed, kept, how):
            """Compares a finished run with its expectation; returns the content seen."""
            problems = []
            killed = proc.returncode == -9
            content = read_file(os.path.join(work, path))
            seen = 'new' if content == new else 'old' if content == old else 'lost'
            status, out, err = expected(outcome, target, save, summary, path, source, how)
            # A killed run stops where it was; a finished one keeps what landed for good.
            if killed:
                want = 'new' if landed else 'old'
            else:
                want = 'new' if kept or status == 0 else 'old'
            if seen != want:
                problems.append(f'profile holds {seen} content, expected {want}')
            if os.stat(os.path.join(work, path)).st_mode != mode:
                problems.append('profile mode changed')
            left = sorted(set(os.listdir(work)) - set(files))
            if killed:
                if len(left) > 1 or not all(is_temp(t) for t in left):
                    problems.append(f'left after a kill: {left}')
                for t in left:  # the key stays private until the content is complete
                    if os.stat(os.path.join(work, t)).st_mode & 0o777 != 0o600 and \
                            read_file(os.path.join(work, t)) != new:
                        problems.append(f'{t} left readable with partial content')
                rerun = strace(always, [binary] + args, cwd=work)
                if rerun.returncode != 0 or read_file(os.path.join(work, path)) != new:
                    problems.append(f'next run: status {rerun.returncode}, profile not new')
                if sorted(os.listdir(work)) != files:
                    problems.append(f'next run left {sorted(os.listdir(work))}')
            else:
                stdout, stderr = proc.stdout.decode(errors='replace'), proc.stderr.decode(errors='replace')
                if proc.returncode != status % 256:
                    problems.append(f'status {proc.returncode}, expected {status}')
                if proc.returncode == 0 and seen != 'new':
                    problems.append('status 0 without the new content')
                if (stdout != out) if out is not None else not summary.startswith(stdout):
                    problems.append(f'stdout {stdout!r}, expected {out!r}')
                if stderr != err:
                    problems.append(f'stderr {stderr!r}, expected {err!r}')
                if left:
                    problems.append(f'left behind: {left}')
            for p in problems:
                faults.append(f'{name} {point}: {p}')
            return seen, killed

        work = fresh()
        mode = os.stat(os.path.join(work, path)).st_mode
        trace = os.path.join(work, '..', os.path.basename(work) + '.trace')
        plain = strace(always, [binary] + args, trace, cwd=work)
        if plain.returncode != 0 or read_file(os.path.join(work, path)) != new:
            faults.append(f'{name}: the run without injections failed ({plain.returncode})')
            continue
        events = trace_events(trace)
        roles = kelmora_roles(events, input_name, os.path.basename(path))
        os.unlink(trace)
        if name in orders:
            faults += order_faults(name, orders[name], roles)
        for (_, given, _), (call, role, _) in zip(events, roles):
            missing = set(carries.get(role, ())) - set(re.split(r'[|, ]+', given))
            if missing:
                faults.append(f'{name} {call} ({role}) without {" ".join(sorted(missing))}: {given}')
        shutil.rmtree(work)

        for call, hows in injections:
            if call in fixed:
                continue
            points = [i for i, (c, _, _) in enumerate(roles) if c == call]
            counts = defaultdict(int)
            for when, index in enumerate(points, 1):
                _, role, save = roles[index]
                if role not in OUTCOMES:
                    faults.append(f'{name} {call}#{when}: no expectation for role {role}')
                    continue
                landed = any(r in LANDING for _, r, _ in roles[:index])
                # Kept after a reported failure: an earlier save's content, or a rename done.
                kept = any(r in LANDING and s < save or r == 'renameat-temp' and s == save
                           for _, r, s in roles[:index])
                for how in hows:
                    outcome = OUTCOMES.get(f'{role}:{how}', OUTCOMES[role])
                    work = fresh()
                    proc = strace(always + [injection(call, how, when)],
                                  [binary] + args, cwd=work)
                    seen, killed = check(f'{call}#{when} ({role}) {how}', work, proc, outcome,
                                         save, landed, kept, how)
                    if killed != (how == 'KILL'):
                        faults.append(f'{name} {call}#{when} {how}: status {proc.returncode}')
                    shutil.rmtree(work)
                    counts['runs'] += 1
                    counts[seen] += 1
                    counts['killed'] += killed
                    counts['reported'] += not killed and proc.returncode != 0
            report.append((name, call, len(points), counts['runs'], counts['new'], counts['old'],
                           counts['reported'], counts['killed'], counts['lost']))
    return report, faults


def main():
    if len(sys.argv) != 3 or sys.argv[1] != 'kelmora':
        sys.exit(__doc__)
    if shutil.which('strace') is None:
        unavailable('strace is not installed')
    program, binary = sys.argv[1], os.path.abspath(sys.argv[2])
    report, faults = kelmora(binary)
    head = ('run', 'syscall', 'occurs', 'tried', 'new', 'old', 'reported', 'killed', 'lost')
    print(f'{program}: injection points and outcomes')
    print('{:<15} {:<10} {:>6} {:>6} {:>5} {:>5} {:>8} {:>6} {:>5}'.format(*head))
    for row in report:
        print('{:<15} {:<10} {:>6} {:>6} {:>5} {:>5} {:>8} {:>6} {:>5}'.format(*row))
    tried = sum(row[3] for row in report)
    lost = sum(row[8] for row in report)
    print(f'total: {tried} injections, {lost} lost profiles, {len(faults)} faults')
    for fault in faults:
        print('FAULT: ' + fault)
    return 1 if faults or tried == 0 else 0


if __name__ == '__main__':
    sys.exit(main())

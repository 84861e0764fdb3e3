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
import shlex
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

def table(name):
    """The rows of a table here: words apart by blanks, 'quoted' where they hold blanks."""
    with open(os.path.join(HERE, name)) as f:
        return [row for row in (shlex.split(line, comments=True) for line in f) if row]


def trace_events(path):
    with open(path, errors='replace') as f:
        return [(m[1], m[2], None if m[3] == '?' else int(m[3])) for m in map(CALL.match, f) if m]


def quoted_path(args):
    m = re.search(r'"((?:[^"\\]|\\.)*)"', args)
    return m.group(1) if m else ''


def injection(call, how, when):
    action = 'signal=KILL' if how == 'KILL' else 'error=' + how
    return f'inject={call}:{action}:when={when}'


def strace(injections, command, trace=os.devnull, **kw):
    opts = [o for inj in injections for o in ('-e', inj)]
    return subprocess.run(['strace', '-f', '-qq', '-y', '-o', trace] + opts + command,
                          stdin=subprocess.DEVNULL, capture_output=True, **kw)


def kelmora_roles(events, work, input_name, profile_name):
    """The role of each event of a plain run (strace -y names each descriptor's file), and
    which save (1, 2) it belongs to: a save starts with its temporary file, which the
    in-place route tries first too."""
    is_temp = temp_pattern(profile_name).match

    def kind(path, args=''):
        base = os.path.basename(path.removesuffix(' (deleted)'))
        return ('dir' if 'O_DIRECTORY' in args or path == work else
                'stdout' if path.startswith('pipe:') else 'temp' if is_temp(base) else
                'urandom' if path == '/dev/urandom' else 'profile' if base == profile_name
                else 'input' if base == input_name else 'other')
    save, roles = 0, []
    for call, args, ret in events:
        role = None
        if call in ('open', 'openat'):
            role = 'open-' + kind(quoted_path(args), args)
            save += role == 'open-temp'
        elif call == 'renameat':
            role = 'renameat-temp' if is_temp(os.path.basename(quoted_path(args))) else None
        elif call in ('read', 'write', 'writev', 'fsync', 'fchmod', 'fchown', 'close', 'flock',
                      'ftruncate', 'flistxattr', 'fgetxattr', 'fsetxattr', 'ioctl'):
            fd = re.match(r'\d+<(.*?)>', args)
            what = kind(fd[1]) if fd else 'other'
            if what == 'profile' and (call in ('write', 'ftruncate', 'fsync') or
                                      call == 'read' and save > 0):
                what = 'inplace'
            role = f'{call}-{what}'
        roles.append((call, role, save))
    return roles


def expected(rows, outcome, target, save, summary, path, source, how):
    """Status, standard output (None: any part of the summary) and standard error."""
    why = os.strerror(getattr(errno, how, 0))
    for name, for_target, for_save, status, out, err in rows:
        if name == outcome and for_target in (target, '-') and for_save in (str(save), '-'):
            text = [t.encode().decode('unicode_escape').format(summary=summary, path=path,
                                                                source=source, why=why)
                    for t in (out, err)]
            return int(status), None if out == '*' else text[0], text[1]
    raise KeyError(f'no row of expected.txt for {outcome} {target} save {save}')


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
    outcomes = {row[1]: row[2] for row in table('outcomes.txt') if row[0] == 'kelmora'}
    landing = {row[1] for row in table('outcomes.txt') if row[0] == 'kelmora' and row[3:]}
    results = [row[1:] for row in table('expected.txt') if row[0] == 'kelmora']
    report = []  # (scenario, syscall, occurrences, runs, new, old, reported, killed, lost)
    faults = []
    laid = tempfile.mkdtemp(prefix='faults-cases-')
    for name, case, target, always in scenarios:
        case_dir = os.path.join(laid, case)
        subprocess.run(['sh', '-c', '. "$0/case.sh" && case_lay "$1" "$2"', os.path.join(HERE, '..'),
                        os.path.join(CASES, 'kelmora', case), case_dir], check=True)
        args = read_file(os.path.join(case_dir, 'args')).decode().splitlines()
        path = args[args.index('-o') + 1]
        source = args[args.index('-f') + 1]
        input_name = os.path.basename(source)
        old = read_file(os.path.join(case_dir, 'in', path))
        new = read_file(os.path.join(case_dir, 'out', path))
        summary = read_file(os.path.join(case_dir, 'stdout')).decode()
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
            status, out, err = expected(results, outcome, target, save, summary, path, source, how)
            # A killed run stops where it was; a finished one keeps what landed for good.
            want = 'new' if (landed if killed else kept or status == 0) else 'old'
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
                stdout, stderr = (b.decode(errors='replace') for b in (proc.stdout, proc.stderr))
                problems += [what for bad, what in (
                    (proc.returncode != status % 256, f'status {proc.returncode}, expected {status}'),
                    (proc.returncode == 0 and seen != 'new', 'status 0 without the new content'),
                    ((stdout != out) if out is not None else not summary.startswith(stdout),
                     f'stdout {stdout!r}, expected {out!r}'),
                    (stderr != err, f'stderr {stderr!r}, expected {err!r}'),
                    (left, f'left behind: {left}')) if bad]
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
        roles = kelmora_roles(events, os.path.realpath(work), input_name, os.path.basename(path))
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
                if role not in outcomes:
                    faults.append(f'{name} {call}#{when}: no expectation for role {role}')
                    continue
                landed = any(r in landing for _, r, _ in roles[:index])
                # Kept after a reported failure: an earlier save's content, or a rename done.
                kept = any(r in landing and s < save or r == 'renameat-temp' and s == save
                           for _, r, s in roles[:index])
                for how in hows:
                    outcome = outcomes.get(f'{role}:{how}', outcomes[role])
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
    shutil.rmtree(laid)
    return report, faults


def main():
    if len(sys.argv) != 3 or sys.argv[1] != 'kelmora':
        sys.exit(__doc__)
    if shutil.which('strace') is None:
        unavailable('strace is not installed')
    program, binary = sys.argv[1], os.path.abspath(sys.argv[2])
    report, faults = kelmora(binary)
    line = '{:<15} {:<10} {:>6} {:>6} {:>5} {:>5} {:>8} {:>6} {:>5}'.format
    print(f'{program}: injection points and outcomes')
    print(line('run', 'syscall', 'occurs', 'tried', 'new', 'old', 'reported', 'killed', 'lost'))
    for row in report:
        print(line(*row))
    tried = sum(row[3] for row in report)
    lost = sum(row[8] for row in report)
    print(f'total: {tried} injections, {lost} lost profiles, {len(faults)} faults')
    for fault in faults:
        print('FAULT: ' + fault)
    return 1 if faults or tried == 0 else 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""Makes each system call of a successful run fail in turn under strace and checks what the
program did about it against the tables here (docs/testing.md: "Fault injection").

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
from collections import Counter
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from testenv import unavailable  # noqa: E402 (found through the path set just above)
CALL = re.compile(r'^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+|\?)')
COLUMNS = ('run', 'syscall', 'occurs', 'tried', 'new', 'old', 'reported', 'killed', 'lost')


def table(name):
    """kelmora's rows of a table here, words apart by blanks ('quoted' if they hold any)."""
    with open(HERE / name) as f:
        rows = [shlex.split(line, comments=True) for line in f]
    return [row[1:] for row in rows if row and row[0] == 'kelmora']


def strace(injections, command, trace=os.devnull, **kw):
    opts = [o for inj in injections for o in ('-e', inj)]
    return subprocess.run(['strace', '-f', '-qq', '-y', '-o', trace] + opts + command,
                          stdin=subprocess.DEVNULL, capture_output=True, **kw)


def kelmora_roles(events, work, input_name, profile_name, is_temp):
    """Each event's role in a plain run (strace -y names each descriptor's file), and its save
    (1, 2): a save starts with its temporary file, which the in-place route tries first too."""
    def kind(path, args=''):
        base = os.path.basename(path.removesuffix(' (deleted)'))
        return ('dir' if 'O_DIRECTORY' in args or path == work else
                'stdout' if path.startswith('pipe:') else 'temp' if is_temp(base) else
                'urandom' if path == '/dev/urandom' else 'profile' if base == profile_name
                else 'input' if base == input_name else 'other')
    save, roles = 0, []
    for call, args in events:
        if call in ('open', 'openat', 'renameat'):
            quoted = re.search(r'"((?:[^"\\]|\\.)*)"', args)
            what = kind(quoted[1] if quoted else '', args)
            role = ('renameat-' if call == 'renameat' else 'open-') + what
            save += role == 'open-temp'
        else:  # a call on a descriptor, named by the file it is open on
            fd = re.match(r'\d+<(.*?)>', args)
            what = kind(fd[1]) if fd else 'other'
            if what == 'profile' and (call in ('write', 'ftruncate', 'fsync') or
                                      call == 'read' and save > 0):
                what = 'inplace'
            role = f'{call}-{what}'
        roles.append((call, role, save))
    return roles


def order_faults(name, order, roles):
    """Every save's calls in the roles ORDER names must be exactly ORDER, repeats too."""
    saves = {s: [r for _, r, t in roles if t == s and r in order] for _, _, s in roles}
    if not any(saves.values()):
        return [f'{name}: no save made any of {" ".join(order)}']
    return [f'{name} save {s}: order {" ".join(seen)}, expected {" ".join(order)}'
            for s, seen in sorted(saves.items()) if seen and seen != order]


def kelmora(binary):
    orders = {row[0]: row[1:] for row in table('orders.txt')}
    carries = {row[0]: row[1:] for row in table('carries.txt')}
    outcomes = {row[0]: row[1] for row in table('outcomes.txt')}
    landing = {row[0] for row in table('outcomes.txt') if row[2:]}
    results = table('expected.txt')
    report, faults = [], []
    laid = Path(tempfile.mkdtemp(prefix='faults-cases-'))
    for name, case, target, always in table('scenarios.txt'):
        case_dir = laid / case
        subprocess.run(['sh', '-c', '. "$0/case.sh" && case_lay "$1" "$2"', HERE.parent,
                        HERE.parent / 'cases' / 'kelmora' / case, case_dir], check=True)
        args = (case_dir / 'args').read_bytes().decode().splitlines()
        path, source = (args[args.index(option) + 1] for option in ('-o', '-f'))
        old, new = ((case_dir / part / path).read_bytes() for part in ('in', 'out'))
        summary = (case_dir / 'stdout').read_bytes().decode()
        files = sorted(os.listdir(case_dir / 'in'))
        is_temp = re.compile(r'\.' + re.escape(os.path.basename(path)) + r'\.[0-9a-z]+\.tmp$').match
        always = [] if always == '-' else ['inject=' + always]

        def fresh():
            work = Path(tempfile.mkdtemp(prefix='run-', dir=laid))
            shutil.copytree(case_dir / 'in', work, dirs_exist_ok=True)
            return work

        def check(work, proc, role, save, landed, kept, how):
            """A finished run's problems against its expectation, and the content seen."""
            killed = proc.returncode == -9
            seen = {new: 'new', old: 'old'}.get((work / path).read_bytes(), 'lost')
            outcome = outcomes.get(f'{role}:{how}', outcomes[role])
            rows = [row[3:] for row in results if row[0] == outcome and
                    row[1] in (target, '-') and row[2] in (str(save), '-')]
            if not rows:
                raise KeyError(f'no row of expected.txt for {outcome} {target} save {save}')
            status = int(rows[0][0])
            why = os.strerror(getattr(errno, how, 0))
            out, err = (t.encode().decode('unicode_escape').format(
                summary=summary, path=path, source=source, why=why) for t in rows[0][1:])
            # A killed run stops where it was; a finished one keeps what landed for good.
            want = 'new' if (landed if killed else kept or status == 0) else 'old'
            left = sorted(set(os.listdir(work)) - set(files))
            checks = [(seen != want, f'profile holds {seen} content, expected {want}'),
                      ((work / path).stat().st_mode != mode, 'profile mode changed'),
                      (killed != (how == 'KILL'), f'status {proc.returncode}'),
                      # A kill may leave one temporary file, for the next run to remove.
                      (len(left) > killed or not all(map(is_temp, left)), f'left behind: {left}')]
            if killed:
                # The key stays private until the content is complete.
                checks += [((work / t).stat().st_mode & 0o777 != 0o600 and
                            (work / t).read_bytes() != new,
                            f'{t} left readable with partial content') for t in left]
                rerun = strace(always, [binary] + args, cwd=work)
                checks += [(rerun.returncode != 0 or (work / path).read_bytes() != new,
                            f'next run: status {rerun.returncode}, profile not new'),
                           (sorted(os.listdir(work)) != files,
                            f'next run left {sorted(os.listdir(work))}')]
            else:
                stdout, stderr = (b.decode(errors='replace') for b in (proc.stdout, proc.stderr))
                checks += [
                    (proc.returncode != status % 256, f'status {proc.returncode}, expected {status}'),
                    (proc.returncode == 0 and seen != 'new', 'status 0 without the new content'),
                    # Standard output "*" lets any part of the summary pass, as it was cut off.
                    ((stdout != out) if rows[0][1] != '*' else not summary.startswith(stdout),
                     f'stdout {stdout!r}, expected {out!r}'),
                    (stderr != err, f'stderr {stderr!r}, expected {err!r}')]
            return seen, killed, [what for bad, what in checks if bad]

        work = fresh()
        mode = (work / path).stat().st_mode
        trace = laid / f'{name}.trace'
        plain = strace(always, [binary] + args, trace, cwd=work)
        if plain.returncode != 0 or (work / path).read_bytes() != new:
            faults.append(f'{name}: the run without injections failed ({plain.returncode})')
            continue
        with open(trace, errors='replace') as f:
            events = [(m[1], m[2]) for m in map(CALL.match, f) if m]
        roles = kelmora_roles(events, str(work.resolve()), os.path.basename(source),
                              os.path.basename(path), is_temp)
        if name in orders:
            faults += order_faults(name, orders[name], roles)
        faults += [f'{name} {call} ({role}) without {" ".join(sorted(missing))}: {given}'
                   for (_, given), (call, role, _) in zip(events, roles)
                   if (missing := set(carries.get(role, ())) - set(re.split(r'[|, ]+', given)))]

        for call, *hows in table('injections.txt'):
            if any(a.startswith(f'inject={call}:') for a in always):
                continue
            points = [i for i, (c, _, _) in enumerate(roles) if c == call]
            counts = Counter()
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
                    action = 'signal=KILL' if how == 'KILL' else 'error=' + how
                    work = fresh()
                    proc = strace(always + [f'inject={call}:{action}:when={when}'],
                                  [binary] + args, cwd=work)
                    seen, killed, problems = check(work, proc, role, save, landed, kept, how)
                    faults += [f'{name} {call}#{when} ({role}) {how}: {p}' for p in problems]
                    counts.update({'tried': 1, seen: 1, 'killed': killed,
                                   'reported': not killed and proc.returncode != 0})
            report.append((name, call, len(points), *(counts[c] for c in COLUMNS[3:])))
    shutil.rmtree(laid)
    return report, faults


def main():
    if len(sys.argv) != 3 or sys.argv[1] != 'kelmora':
        sys.exit(__doc__)
    if shutil.which('strace') is None:
        unavailable('strace is not installed')
    report, faults = kelmora(os.path.abspath(sys.argv[2]))
    line = '{:<15} {:<10} {:>6} {:>6} {:>5} {:>5} {:>8} {:>6} {:>5}'.format
    print('kelmora: injection points and outcomes')
    for row in [COLUMNS] + report:
        print(line(*row))
    tried = sum(row[3] for row in report)
    lost = sum(row[8] for row in report)
    print(f'total: {tried} injections, {lost} lost profiles, {len(faults)} faults')
    for fault in faults:
        print('FAULT: ' + fault)
    return 1 if faults or tried == 0 else 0


if __name__ == '__main__':
    sys.exit(main())

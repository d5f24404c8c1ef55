#!/usr/bin/env python3
"""Plants faults in the sources one at a time and sees whether the tests notice.

    mutants.py [--files 'A B ...'] [--count N] [--seed S] [--rerun RESULTS.json]

Each mutant changes one line of one file by one operator: a comparison
flipped, a condition made always true or false or an '&& c' dropped, an
early return at a function's start, a loop bound or an index moved by one,
or a checked call's result thrown away.  The sites are chosen from every
candidate of the files by the seed, taking each file in turn, so the same
sources and seed give the same mutants; nothing depends on line numbers.
For each mutant the Linux tests are rebuilt in build/mutants/posix (which
carries the Windows program built before, as it is, and never rebuilds
it) and run, then, if they pass, the fuzz target over its seeds
(make_corpus.py --check, built in build/mutants/fuzz).  A mutant is
killed, survived, build-failed or timeout.  The file is put back after each
one, even on Ctrl-C; a run that was killed outright puts it back at the
next start (build/mutants/pending.json).  --rerun runs again the survivors
of an earlier run's results, found by their lines' text.

Results: build/mutants/results.json and the survivors on standard output.
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, 'build', 'mutants')
POSIX = os.path.join(OUT, 'posix')
FUZZ = os.path.join(OUT, 'fuzz')
PENDING = os.path.join(OUT, 'pending.json')
RESULTS = os.path.join(OUT, 'results.json')

DEFAULT_FILES = '''src/join/stretch_map.cpp src/join/repair.cpp src/join/part_check.cpp
src/transfer/erasure_engine.cpp src/format/recovery.cpp src/format/set_journal.cpp src/app/mode.cpp
src/app/no_terminal.cpp src/split/split_engine.cpp src/join/join_engine.cpp src/join/part_set.cpp
src/join/join_report.cpp'''.split()

NICE = ['nice', '-n', '10']
# These build and package build/posix through make, from the mutated
# sources: they would test that build, not this one, and rebuild the
# Windows program each time.
NOT_HERE = '-*UninstallTakesBackItsOwnPlace:*PackageIsLintianClean'


# ---------------------------------------------------------------- sites

def masked(line):
    """The line's code with string and character literals blanked and any
    // comment cut off, the same length up to the comment."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == '\\':
                out.append('__')
                i += 2
                continue
            out.append(c if c == quote else '_')
            if c == quote:
                quote = None
        elif c in '"\'':
            quote = c
            out.append(c)
        elif line.startswith('//', i):
            break
        else:
            out.append(c)
        i += 1
    return ''.join(out)[:len(line)]


def closing(code, start):
    """The index of the parenthesis that closes the one at start, or -1."""
    depth = 0
    for i in range(start, len(code)):
        if code[i] == '(':
            depth += 1
        elif code[i] == ')':
            depth -= 1
            if depth == 0:
                return i
    return -1


COMPARISON = re.compile(r'(?<=[\w)\]] )(<=|>=|==|!=|<|>)(?= [\w(!*&-])')
FLIPPED = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
IGNORED = re.compile(r'\bif \(!(?=[A-Z]\w*\()')
INDEX = re.compile(r'(?<=[\w\])])\[([^\[\]]+)\]')
FUNCTION = re.compile(r'^(?:static |inline |extern "C" )*([\w:<>]+(?: \*+| &)?) ?\**[\w:]+\(')


def early_return(kind):
    """The statement that returns at once from a function returning kind."""
    kind = kind.replace('static ', '').strip()
    if kind == 'void':
        return 'return;'
    if kind == 'bool':
        return 'return false;'
    if kind.endswith('*'):
        return 'return nullptr;'
    if kind.endswith('&'):
        return None
    return 'return {};'


def and_operands(code):
    """(start, end) of each ' && operand' whose operand ends on this line."""
    spans = []
    for m in re.finditer(r' && ', code):
        depth, i = 0, m.end()
        while i < len(code):
            c = code[i]
            if c in '([':
                depth += 1
            elif c in ')]':
                if depth == 0:
                    break
                depth -= 1
            elif depth == 0 and (code.startswith(' && ', i) or code.startswith(' || ', i) or c in ';?,'):
                break
            i += 1
        if i < len(code) and i > m.end():
            spans.append((m.start(), i))
    return spans


def line_sites(lines, n):
    """Every mutant of line n: (operator, new line) pairs."""
    line = lines[n]
    stripped = line.strip()
    # An assert is compiled out of the build the tests run.
    if not stripped or stripped.startswith(('#', '//', '*', '/*', 'assert(')):
        return []
    code = masked(line)
    sites = []
    for m in COMPARISON.finditer(code):
        # '<' or '>' beside a name and a space is a template only in declarations.
        if m.group(1) in '<>' and re.search(r'\b(template|static_cast|reinterpret_cast)\s*$', code[:m.start()]):
            continue
        sites.append(('flip comparison', line[:m.start()] + FLIPPED[m.group(1)] + line[m.end():]))
    for m in re.finditer(r'\b(if|while) \(', code):
        start = m.end() - 1
        end = closing(code, start)
        if end < 0 or code[start + 1:end] in ('true', 'false'):
            continue
        values = ('true', 'false') if m.group(1) == 'if' else ('false',)
        for value in values:
            sites.append(('drop condition', line[:start + 1] + value + line[end:]))
    for start, end in and_operands(code):
        sites.append(('drop && operand', line[:start] + line[end:]))
    for m in IGNORED.finditer(code):
        start = m.end()
        call_end = closing(code, code.index('(', start))
        if call_end < 0 or call_end + 1 >= len(code) or code[call_end + 1] != ')':
            continue
        call = line[start:call_end + 1]
        rest = code[call_end + 2:].strip()
        if re.fullmatch(r'(return\b.*|continue|break|goto \w+);', rest):
            sites.append(('ignore status', line[:m.start()] + call + ';'))
        else:
            sites.append(('ignore status',
                          line[:m.start()] + 'if (((void)' + call + ', false))' + line[call_end + 2:]))
    for m in re.finditer(r'\bfor \(', code):
        end = closing(code, m.end() - 1)
        parts = code[m.end():end].split(';') if end > 0 else []
        if len(parts) != 3 or '&&' in parts[1] or '||' in parts[1] or not COMPARISON.search(parts[1]):
            continue
        bound_end = m.end() + len(parts[0]) + 1 + len(parts[1].rstrip())
        for delta in (' + 1', ' - 1'):
            sites.append(('move bound', line[:bound_end] + delta + line[bound_end:]))
    for m in INDEX.finditer(code):
        inner = m.group(1).strip()
        if re.fullmatch(r'\d+|k[A-Z]\w*|[&=]?|this|[A-Z_]+', inner) or not re.search(r'[a-z_]', inner):
            continue
        if re.match(r'\s*(?:const |static |unsigned )*(?:char|int|int64_t|uint8_t|uint16_t|uint32_t|'
                    r'uint64_t|unsigned|bool|size_t|[A-Z]\w*) [\w*]+\[$', code[:m.start() + 1]):
            continue  # a declaration: the bound of an array, not an index
        for delta in (' + 1', ' - 1'):
            sites.append(('move index', line[:m.end() - 1] + delta + line[m.end() - 1:]))
    return sites


def function_sites(lines):
    """An early return at the start of each function: (line after which it
    goes, operator, inserted line)."""
    sites = []
    for n in range(len(lines) - 1):
        head = lines[n]
        if head[:1] in ('', ' ', '\t', '#', '/', '}', '{') or head.rstrip().endswith(';'):
            continue
        # The signature may take several lines; its body opens with '{' alone.
        end = n
        while end < len(lines) - 1 and end - n < 6 and lines[end].rstrip() != '{':
            end += 1
        if lines[end].rstrip() != '{' or not lines[end - 1].rstrip().endswith(')') and 'const' not in lines[end - 1]:
            continue
        m = FUNCTION.match(head)
        if not m or head.startswith(('struct', 'class', 'namespace', 'enum', 'union')):
            continue
        kind = m.group(1)
        if '::' in head[:head.index('(')] and kind.split('::')[-1] == head[:head.index('(')].split('::')[-1]:
            continue  # a constructor
        statement = early_return(kind + (' *' if re.match(r'^[^(]*\*\w', head) else ''))
        if statement:
            sites.append((end, 'return early', '    ' + statement))
    return sites


def all_sites(path):
    """Every mutant of one file, in file order: dicts a run can apply."""
    with open(os.path.join(ROOT, path)) as f:
        lines = f.read().split('\n')
    sites = []
    for n in range(len(lines)):
        for op, after in line_sites(lines, n):
            sites.append({'file': path, 'line': n + 1, 'op': op, 'before': lines[n], 'after': after})
    for n, op, inserted in function_sites(lines):
        sites.append({'file': path, 'line': n + 1, 'op': op, 'before': lines[n],
                      'after': lines[n] + '\n' + inserted, 'in': lines[n - 1].strip()})
    sites.sort(key=lambda s: (s['line'], s['op'], s['after']))
    return sites


def choose(files, count, seed):
    """count sites, the files taken in turn, each file's in an order the
    seed shuffles."""
    pools = []
    for path in files:
        # The operators in turn too, so that the many comparisons do not
        # crowd out the rarer early returns.
        shuffle = random.Random(f'{seed}:{path}').shuffle
        by_op = {}
        for site in all_sites(path):
            by_op.setdefault(site['op'], []).append(site)
        groups = [by_op[op] for op in sorted(by_op)]
        for group in groups:
            shuffle(group)
        shuffle(groups)
        sites = []
        while any(groups):
            sites += [group.pop() for group in groups if group]
        pools.append(sites[::-1])
    chosen = []
    while len(chosen) < count and any(pools):
        for pool in pools:
            if pool and len(chosen) < count:
                chosen.append(pool.pop())
    return chosen


def locate(site):
    """The site's line now, found by its text nearest its old number."""
    with open(os.path.join(ROOT, site['file'])) as f:
        lines = f.read().split('\n')
    found = [n for n, line in enumerate(lines) if line == site['before']]
    if not found:
        return None
    n = min(found, key=lambda k: abs(k + 1 - site['line']))
    return dict(site, line=n + 1)


# ---------------------------------------------------------------- runs

class Planted:
    """One file with one line replaced, put back on leaving, Ctrl-C
    included."""

    def __init__(self, site):
        self.path = os.path.join(ROOT, site['file'])
        self.site = site

    def __enter__(self):
        with open(self.path) as f:
            self.original = f.read()
        with open(PENDING, 'w') as f:
            json.dump({'path': self.path, 'text': self.original}, f)
        lines = self.original.split('\n')
        n = self.site['line'] - 1
        if lines[n] != self.site['before']:
            raise SystemExit(f"mutants: {self.site['file']}:{self.site['line']} changed under the run")
        lines[n] = self.site['after']
        with open(self.path, 'w') as f:
            f.write('\n'.join(lines))
        return self

    def __exit__(self, *exc):
        put_back(self.path, self.original)
        return False


def put_back(path, text):
    # A fresh modification time, newer than any object built from the mutant.
    with open(path, 'w') as f:
        f.write(text)
    os.remove(PENDING)


def restore_pending():
    if os.path.exists(PENDING):
        with open(PENDING) as f:
            pending = json.load(f)
        print(f"mutants: putting back {pending['path']}, left mutated by an earlier run")
        put_back(pending['path'], pending['text'])


def run(command, timeout, cwd=ROOT):
    """(exit status or 'timeout', output tail); the whole process group
    goes on a timeout."""
    with subprocess.Popen(NICE + command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          start_new_session=True) as p:
        try:
            out, _ = p.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.communicate()
            return 'timeout', ''
        except BaseException:  # Ctrl-C: the child's group is in a session of its own
            os.killpg(p.pid, signal.SIGKILL)
            raise
    return p.returncode, out.decode(errors='replace')


def configure():
    """build/mutants/posix, the tests against the Linux libraries, carrying
    the Windows program as build/windows holds it now; build/mutants/fuzz."""
    os.makedirs(OUT, exist_ok=True)
    image = os.path.join(ROOT, 'build', 'windows', 'cleaver.exe')
    windows = os.path.join(OUT, 'windows')
    if not os.path.exists(os.path.join(POSIX, 'CMakeCache.txt')):
        args = ['-DMUSL_GCC=OFF', '-DQCLEAVER_WINDOWS_BUILD_DIR=' + windows]
        if os.path.exists(image):
            os.makedirs(windows, exist_ok=True)
            shutil.copy2(image, os.path.join(windows, 'cleaver.exe'))
            args.append('-DQCLEAVER_WINDOWS_IMAGE=' + os.path.join(windows, 'cleaver.exe'))
        else:
            print('mutants: no build/windows/cleaver.exe (make test builds it): the tests of sets for '
                  'Windows will be skipped')
            args.append('-DQCLEAVER_EMBED_WINDOWS=OFF')
        subprocess.run(['cmake', '-S', ROOT, '-B', POSIX, '-DCMAKE_BUILD_TYPE=MinSizeRel'] + args,
                       check=True, stdout=subprocess.DEVNULL)
    if not os.path.exists(os.path.join(FUZZ, 'CMakeCache.txt')) and shutil.which('clang++'):
        subprocess.run(['cmake', '-S', os.path.join(ROOT, 'tests', 'fuzz'), '-B', FUZZ,
                        '-DCMAKE_CXX_COMPILER=clang++'], check=True, stdout=subprocess.DEVNULL)


def fuzz_sources():
    try:
        with open(os.path.join(ROOT, 'tests', 'fuzz', 'CMakeLists.txt')) as f:
            return set(re.findall(r'\$\{src\}/([\w/]+\.cpp)', f.read()))
    except OSError:
        return set()


def unit_tests(timeout, shards=2):
    """The Linux tests in shards side by side (much of their time is spent
    waiting on files and programs), stopping at the first failure of any."""
    env = dict(os.environ, GTEST_TOTAL_SHARDS=str(shards))
    runs, logs = [], []
    for shard in range(shards):
        env['GTEST_SHARD_INDEX'] = str(shard)
        logs.append(open(os.path.join(OUT, f'shard-{shard}.log'), 'w+', errors='replace'))
        runs.append(subprocess.Popen(NICE + [os.path.join(POSIX, 'tests', 'unit_tests'), '--gtest_brief=1',
                                             '--gtest_fail_fast', '--gtest_filter=' + NOT_HERE], env=dict(env), start_new_session=True,
                                     stdout=logs[-1], stderr=subprocess.STDOUT))
    ends = time.time() + timeout
    status, failed = 0, None
    try:
        while status == 0 and any(p.poll() is None for p in runs):
            failed = next((k for k, p in enumerate(runs) if p.poll() not in (None, 0)), None)
            status = 'timeout' if time.time() > ends else 0 if failed is None else runs[failed].returncode
            time.sleep(0.2)
        if status == 0:
            failed = next((k for k, p in enumerate(runs) if p.returncode != 0), None)
            status = 0 if failed is None else runs[failed].returncode
    finally:
        for p in runs:
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGKILL)
            p.wait()
    out = ''
    if failed is not None:
        logs[failed].seek(0)
        out = logs[failed].read()
    for log in logs:
        log.close()
    return status, out


def test(site, timeout):
    """killed, survived, build-failed or timeout, and what said so."""
    # Everything a test looks for: the program, the tests, the man page.
    status, out = run(['cmake', '--build', POSIX, '-j2'], 900)
    if status != 0:
        return ('timeout' if status == 'timeout' else 'build-failed'), out[-3000:]
    status, out = unit_tests(timeout)
    if status == 'timeout':
        return 'timeout', 'unit_tests'
    if status != 0:
        failed = re.findall(r'\[  FAILED  \] (\S+)', out)
        return 'killed', 'unit_tests ' + (failed[0] if failed else f'exit {status}')
    if site is None or site['file'][len('src/'):] in fuzz_sources():
        if os.path.exists(os.path.join(FUZZ, 'CMakeCache.txt')):
            status, out = run(['cmake', '--build', FUZZ, '-j2'], 900)
            if status != 0:
                return ('timeout' if status == 'timeout' else 'build-failed'), out[-3000:]
            status, out = run(['python3', os.path.join(ROOT, 'tests', 'fuzz', 'make_corpus.py'), '--check',
                               os.path.join(FUZZ, 'fuzz_join')], timeout)
            if status == 'timeout':
                return 'timeout', 'fuzz seeds'
            if status != 0:
                return 'killed', 'fuzz seeds: ' + out.strip().split('\n')[0]
    return 'survived', ''


def shown(site, indent):
    """file:line, the operator, the line before and after."""
    where = f" in {site['in']}" if 'in' in site else ''
    after = site['after'].strip().replace('\n', ' ')
    return (f"{site['file']}:{site['line']} {site['op']}{where}\n{indent}- {site['before'].strip()}\n"
            f"{indent}+ {after}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--files', default='', help='the sources to plant faults in, by spaces')
    parser.add_argument('--count', type=int, default=60)
    parser.add_argument('--seed', default='1')
    parser.add_argument('--rerun', help="an earlier results.json: run its survivors again")
    parser.add_argument('--list', action='store_true', help='list the chosen mutants, run none')
    args = parser.parse_args()
    os.chdir(ROOT)
    os.makedirs(OUT, exist_ok=True)
    restore_pending()
    if args.rerun:
        with open(args.rerun) as f:
            earlier = [m for m in json.load(f)['mutants'] if m['status'] == 'survived']
        sites = [s for s in map(locate, earlier) if s]
        if len(sites) < len(earlier):
            print(f'mutants: {len(earlier) - len(sites)} of the survivors are no longer in the sources')
    else:
        files = args.files.split() or DEFAULT_FILES
        for path in files:
            if not os.path.isfile(path):
                raise SystemExit(f'mutants: no such file: {path}')
        sites = choose(files, args.count, args.seed)
    if args.list:
        for i, s in enumerate(sites):
            print(f"{i + 1:3} {shown(s, '      ')}")
        return 0

    configure()
    subprocess.run(NICE + ['cmake', '--build', POSIX, '-j2'], check=True, stdout=subprocess.DEVNULL)
    started = time.time()
    status, why = test(None, 1200)
    if status != 'survived':
        print(f'mutants: the tests do not pass without a mutant ({status}: {why})')
        return 1
    timeout = max(120, 3 * (time.time() - started))
    print(f'mutants: {len(sites)} mutants; the unmutated tests took {time.time() - started:.0f} s, '
          f'a mutant gets {timeout:.0f} s')
    results = []
    for i, site in enumerate(sites):
        began = time.time()
        with Planted(site):
            status, why = test(site, timeout)
        results.append(dict(site, status=status, why=why.strip()[-600:] if status == 'build-failed' else why))
        print(f"[{i + 1}/{len(sites)}] {status:12} {site['file']}:{site['line']} {site['op']}"
              f" ({time.time() - began:.0f} s){'  ' + why if status == 'killed' else ''}", flush=True)
        with open(RESULTS, 'w') as f:
            json.dump({'mutants': results}, f, indent=1)
    counts = {k: sum(r['status'] == k for r in results) for k in ('killed', 'survived', 'build-failed', 'timeout')}
    judged = counts['killed'] + counts['survived'] + counts['timeout']
    print('\nSurvivors:')
    for r in results:
        if r['status'] == 'survived':
            print(f"  {shown(r, '    ')}")
    print(f"\n{counts['killed']} killed, {counts['survived']} survived, {counts['timeout']} timeout, "
          f"{counts['build-failed']} build-failed; kill rate "
          f"{100 * (judged - counts['survived']) / max(judged, 1):.0f}% (timeouts count as killed)\n"
          f"Results: {os.path.relpath(RESULTS)}")
    return 0


def interrupted(signum, frame):
    raise KeyboardInterrupt


if __name__ == '__main__':
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit('mutants: interrupted; the sources are as they were')

#!/usr/bin/env python3
"""Which test catches which planted fault: the guide for shrinking a suite without losing faults.

    scripts/kill_matrix.py --build build --tests '^render\\.' --count 80 --seeds 1 2 \\
        --out /tmp/render.json render/*.cpp
    scripts/kill_matrix.py --report /tmp/render.json [/tmp/more.json ...]

Plants the same faults as ../shared/tools/mutants (same sampling per seed), but runs every
selected test for each fault instead of stopping at the first failure, and records which tests
failed. The report lists, per test, the faults it catches and how many of them no other test
catches. A test that catches nothing alone is a candidate to merge or drop; the survivors are
what no test pins down.
"""
import argparse
import importlib.machinery
import importlib.util
import json
import random
import re
import signal
import subprocess
import sys
import time
from collections import defaultdict
from pathlib import Path

HERE = Path(__file__).resolve().parent


def load_mutants():
    for p in (HERE.parent.parent / 'shared/tools/mutants', Path('/work/shared/tools/mutants')):
        if p.exists():
            loader = importlib.machinery.SourceFileLoader('mutants_tool', str(p))
            found = importlib.util.spec_from_loader('mutants_tool', loader)
            mod = importlib.util.module_from_spec(found)
            loader.exec_module(mod)
            return mod
    sys.exit('cannot find ../shared/tools/mutants')


FAILED = re.compile(r'^\s*\d+ - (\S+) \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|.*)\)')


def run_tests(build, regex, timeout):
    t = subprocess.run(['ctest', '--test-dir', build, '-R', regex, '-j2', '--timeout', str(timeout)],
                       capture_output=True, text=True)
    failed, section = [], False
    for line in t.stdout.splitlines():
        if line.startswith('The following tests FAILED'):
            section = True
            continue
        if section:
            m = FAILED.match(line)
            if m:
                failed.append(m.group(1))
    names = re.findall(r'Test\s+#\d+: (\S+)', t.stdout)
    return t.returncode, failed, names


def plant(a):
    mut = load_mutants()
    files = a.files
    results = []
    originals = {f: Path(f).read_text() for f in files}

    def restore(*sig):
        for f, text in originals.items():
            if Path(f).read_text() != text:
                Path(f).write_text(text)
        if sig:
            sys.exit(130)
    signal.signal(signal.SIGINT, restore)
    signal.signal(signal.SIGTERM, restore)

    if subprocess.run(['cmake', '--build', a.build], capture_output=True).returncode:
        sys.exit('the untouched sources do not build')
    began = time.time()
    rc, failed, names = run_tests(a.build, a.tests, 600)
    if rc or failed:
        sys.exit('the selected tests fail on the untouched sources: ' + ' '.join(failed))
    timeout = max(20, int(3 * (time.time() - began)))
    print(f'baseline: {len(names)} tests; timeout {timeout} s', flush=True)
    try:
        for seed in a.seeds:
            pool = []
            for f in files:
                lines, cands = mut.candidates(f)
                pool += [(f, lines, c) for c in cands]
            random.Random(seed).shuffle(pool)
            for n, (f, lines, c) in enumerate(pool[:a.count], 1):
                what = mut.describe(f, lines, c)
                Path(f).write_text(mut.apply(lines, c))
                b = subprocess.run(['cmake', '--build', a.build], capture_output=True)
                if b.returncode:
                    verdict, failed = 'stillborn', []
                else:
                    _, failed, _ = run_tests(a.build, a.tests, timeout)
                    verdict = 'killed' if failed else 'SURVIVED'
                Path(f).write_text(originals[f])
                results.append({'seed': seed, 'fault': what, 'verdict': verdict, 'failed': failed})
                print(f'[seed {seed} {n}] {verdict:9s} {len(failed):2d} tests  {what}', flush=True)
                Path(a.out).write_text(json.dumps({'tests': names, 'faults': results}, indent=1))
    finally:
        restore()
        subprocess.run(['cmake', '--build', a.build], capture_output=True)
    report([a.out])


def report(paths):
    tests, faults = set(), []
    for p in paths:
        d = json.loads(Path(p).read_text())
        tests.update(d['tests'])
        faults += d['faults']
    catches, alone = defaultdict(int), defaultdict(list)
    for f in faults:
        for t in f['failed']:
            catches[t] += 1
        if len(f['failed']) == 1:
            alone[f['failed'][0]].append(f['fault'])
    scored = [f for f in faults if f['verdict'] != 'stillborn']
    killed = sum(1 for f in scored if f['failed'])
    print(f'{len(scored)} faults scored, {killed} killed '
          f'({100.0 * killed / len(scored) if scored else 0:.0f} %)')
    print('\ncatches  alone  test')
    for t in sorted(tests, key=lambda t: (len(alone[t]), catches[t])):
        print(f'{catches[t]:7d}  {len(alone[t]):5d}  {t}')
    print('\nfaults only one test catches:')
    for t in sorted(alone):
        for what in alone[t]:
            print(f'  {t}: {what}')
    print('\nsurvivors:')
    for f in scored:
        if not f['failed']:
            print('  ' + f['fault'])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--build')
    ap.add_argument('--tests')
    ap.add_argument('--count', type=int, default=40)
    ap.add_argument('--seeds', type=int, nargs='+', default=[1])
    ap.add_argument('--out')
    ap.add_argument('--report', action='store_true', help='summarise the given JSON files')
    ap.add_argument('files', nargs='+')
    a = ap.parse_args()
    if a.report:
        report(a.files)
    else:
        if not (a.build and a.tests and a.out):
            ap.error('--build, --tests and --out are needed to plant faults')
        plant(a)


if __name__ == '__main__':
    main()

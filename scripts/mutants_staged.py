#!/usr/bin/env python3
"""Fault planting for shell/ and platform/ in two stages. The faults are the mutants tool's own
sample (same candidates, same seed, same count as `../shared/tools/mutants ... FOLDER/*.cpp`).
Stage 1 runs the unit tests of the faulty file; a fault they pass is rebuilt whole and run
against the end-to-end runs of the real program that reach that file (stage 2). Only a fault
that passes both is a survivor; one that does not compile is stillborn.

  SDL_AUDIODRIVER=dummy KORVALIN_HEADLESS=1 scripts/mutants_staged.py FOLDER SEED [COUNT]
  scripts/mutants_staged.py FOLDER SEED --baseline   # every test of both stages, untouched
  scripts/mutants_staged.py FOLDER SEED --only a.cpp,b.cpp   # of the sample, plant only these files' faults

(--only judges again the faults of files whose tests changed since a whole run.)

Run in the worktree, with build/ configured, under the machine-wide mutation lock.
"""
import random
import subprocess
import sys
import time
from pathlib import Path

from kill_matrix import load_mutants

mut = load_mutants()

folder, seed = sys.argv[1], int(sys.argv[2])
count = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[3].isdigit() else 40
files = sorted(str(p) for p in Path(folder).glob('*.cpp'))

# Stage 2: the end-to-end runs of the real program that reach the file (and the editor's unit
# tests for the hooks that drive it).
if folder == 'shell':
    def stage1(f):
        if f.endswith(('export_run.cpp', 'export_options.cpp')):
            return '^export\\.', ['export_tests']
        return '^(shell|clock)\\.', ['shell_tests', 'clock_tests']

    def stage2(f):
        if f.endswith(('export_run.cpp', 'export_options.cpp')):
            return 'export_e2e'
        if f.endswith(('shell_app.cpp', 'main.cpp')):
            return 'shell_e2e|shell_cli'
        if f.endswith(('editor_hooks_impl.cpp', 'asset_watch.cpp')):
            return '^(editor|editor_ui)\\.|shell_e2e_(editor|chooser)'
        if f.endswith('frame_pass.cpp'):
            return 'shell_e2e_(f1|editor|chooser)'
        return 'shell_e2e_(fullscreen|f1|music)'
else:
    def stage1(f):
        if f.endswith('vorbis_decoder.cpp'):
            return ('^export\\.(VorbisDecoder|ExportRun)|^shell\\.HooksTest\\.TheMusicStrip|^platform\\.',
                    ['export_tests', 'shell_tests', 'platform_tests'])
        if f.endswith('offscreen_gl.cpp'):
            return '^export\\.ExportRun|^platform\\.', ['export_tests', 'platform_tests']
        return '^platform\\.', ['platform_tests']

    def stage2(f):
        if f.endswith(('vorbis_decoder.cpp', 'offscreen_gl.cpp')):
            return 'export_e2e'
        if f.endswith('music_stream.cpp'):
            return 'shell_e2e_(music|fullscreen)'
        if f.endswith('message_box.cpp'):
            return 'shell_cli_no_display|shell_e2e_(mode|editor|chooser)'
        return 'shell_e2e_(fullscreen|mode|f1|editor|chooser)|shell_cli_no_display'

pool = []
for f in files:
    lines, cands = mut.candidates(f)
    pool += [(f, lines, c) for c in cands]
rng = random.Random(seed)
rng.shuffle(pool)
picked = pool[:count]
if '--only' in sys.argv:
    only = sys.argv[sys.argv.index('--only') + 1].split(',')
    picked = [p for p in picked if Path(p[0]).name in only]
print(f'{len(pool)} candidate faults in {len(files)} file(s); planting {len(picked)} (seed {seed})', flush=True)
originals = {f: Path(f).read_text() for f in files}


def build(targets):
    cmd = ['nice', '-n', '10', 'cmake', '--build', 'build']
    if targets:
        cmd += ['--target'] + targets
    return subprocess.run(cmd, capture_output=True, text=True).returncode == 0


def passes(regex):
    t = subprocess.run(['nice', '-n', '10', 'ctest', '--test-dir', 'build', '-R', regex, '-j2', '--stop-on-failure',
                        '--timeout', '150'], capture_output=True, text=True)
    # A pattern left over from a renamed test would pass every fault: stop instead.
    if 'No tests were found' in t.stdout:
        sys.exit(f'no test matches {regex!r}')
    return t.returncode == 0, t.stdout




def judge(f):
    """'stillborn', 'killed' or 'SURVIVED', and the stage that decided it."""
    regex, targets = stage1(f)
    if not build(targets):
        return 'stillborn', ''
    if not passes(regex)[0]:
        return 'killed', ''
    if not build(['korvalin']):  # the e2e runs need only the program itself rebuilt
        return 'stillborn', ' (stage 2)'
    return ('SURVIVED' if passes(stage2(f))[0] else 'killed'), ' (stage 2)'


if '--baseline' in sys.argv:
    build([])
    ok, out = passes('|'.join(sorted({stage1(f)[0] for f in files} | {stage2(f) for f in files})))
    print('baseline', 'passes' if ok else 'FAILS\n' + out[-3000:])
    sys.exit(0 if ok else 2)

killed, survived, stillborn = 0, [], 0
try:
    for n, (f, lines, c) in enumerate(picked, 1):
        start = time.time()
        Path(f).write_text(mut.apply(lines, c))
        verdict, how = judge(f)
        Path(f).write_text(originals[f])
        if verdict == 'killed':
            killed += 1
        elif verdict == 'stillborn':
            stillborn += 1
        else:
            survived.append(mut.describe(f, lines, c))
        print(f'[{n}/{len(picked)}] {verdict:9s} {time.time() - start:5.1f}s  {mut.describe(f, lines, c)}{how}', flush=True)
finally:
    for f, t in originals.items():
        if Path(f).read_text() != t:
            Path(f).write_text(t)
    build([])

scored = killed + len(survived)
print(f'\nkilled {killed}, survived {len(survived)}, stillborn {stillborn}: score {100.0 * killed / scored if scored else 0:.0f}%')
for s in survived:
    print('  survivor: ' + s)

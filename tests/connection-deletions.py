#!/usr/bin/env python3
"""Deletes each signal connection of the wizard in turn and expects a test to notice.

For every connect(...) statement in src/wizard/*.cpp, the statement is disabled (an
"if (false)" is put before it, so it still compiles), the wizard library and its tests are
rebuilt, and the wizard's tests run until the first failure. A deletion that no test notices
is a connection no test exercises through its signal. The list is printed; the exit status is
1 when a deletion survived. The sources are always restored.

    tests/connection-deletions.py [BUILD-DIR] [--only SUBSTRING[|SUBSTRING...]]

BUILD-DIR is a configured build tree of this checkout (default: build).
"""
import argparse
import pathlib
import re
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
STATEMENT = re.compile(r'^(\s*)((?:QObject::)?connect\()')


def wizard_tests(build):
    listing = subprocess.run(['ctest', '--test-dir', str(build), '-N', '-R', '^test_wizard_'],
                             capture_output=True, text=True, check=True).stdout
    return re.findall(r'Test\s+#\d+: (\S+)', listing)


def build_targets(build, targets):
    result = subprocess.run(['cmake', '--build', str(build), '-j2', '--target', *targets],
                            capture_output=True, text=True)
    return result.returncode == 0, result.stdout + result.stderr


def first_failure(build):
    # A deleted connection can leave a modal dialog open for good; a wizard test takes seconds.
    result = subprocess.run(['ctest', '--test-dir', str(build), '-R', '^test_wizard_', '-j2',
                             '--stop-on-failure', '--timeout', '90'], capture_output=True, text=True)
    failed = re.findall(r'\d+ - (\S+) \(', result.stdout)
    return result.returncode != 0, failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build', nargs='?', default='build')
    parser.add_argument('--only', default='')
    args = parser.parse_args()
    build = (ROOT / args.build).resolve()
    targets = ['wizard', *wizard_tests(build)]

    ok, log = build_targets(build, targets)
    if not ok:
        print(log)
        sys.exit('the unchanged tree does not build')
    failing, names = first_failure(build)
    if failing:
        sys.exit('the wizard tests fail before any deletion: ' + ', '.join(names))

    sites = []
    for path in sorted((ROOT / 'src' / 'wizard').glob('*.cpp')):
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            if STATEMENT.match(line) and any(o in f'{path.name}:{number} {line}' for o in args.only.split('|')):
                sites.append((path, number, line.strip()))

    survived = []
    started = time.monotonic()
    for path, number, text in sites:
        original = path.read_text(encoding='utf-8')
        lines = original.splitlines(keepends=True)
        lines[number - 1] = STATEMENT.sub(r'\1if (false) \2', lines[number - 1], count=1)
        try:
            path.write_text(''.join(lines), encoding='utf-8')
            ok, log = build_targets(build, targets)
            if not ok:
                print(log)
                sys.exit(f'{path.name}:{number} does not build without its connection')
            failing, names = first_failure(build)
        finally:
            path.write_text(original, encoding='utf-8')
        verdict = 'noticed by ' + ', '.join(names) if failing else 'SURVIVED'
        if not failing:
            survived.append(f'{path.name}:{number}')
        print(f'{path.relative_to(ROOT)}:{number}: {verdict}\n    {text}', flush=True)

    build_targets(build, targets)  # leave the build as the sources are
    minutes = (time.monotonic() - started) / 60
    print(f'{len(sites)} connections, {len(sites) - len(survived)} noticed, '
          f'{len(survived)} survived ({minutes:.1f} min)')
    if survived:
        print('survived: ' + ', '.join(survived))
        sys.exit(1)


if __name__ == '__main__':
    main()

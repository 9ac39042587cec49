#!/usr/bin/env python3
"""bench/members_bench.py: what the installer costs per member, against its
peers, each pair measured in one run.

    bench/members_bench.py [BUILD_DIR [RUNS]]

BUILD_DIR holds the POSIX build (default: build); RUNS is the number of runs
of each program (default: 7). Each figure is the median of RUNS runs taken
in pairs, A then B, and each ratio the median of the pairs' ratios, so that
a machine whose speed drifts still compares like with like. CPU time is the
user and system seconds of the process and the children it waited for, as
the kernel accounts them (os.wait4); wall time is the elapsed time from its
start to its end.

1. Small members: archives of N = 1, 100, 1,000, 4,000, 16,000 and 64,000
   stored members of 4 KiB each, all in one folder. Each run of the
   installer (a fresh WINEPREFIX, COMSPEC unset, its answers from a pipe:
   the default directory, no name, no guide) is followed by `lhasa xq` of
   the same archive into a fresh folder. Printed per N: both CPU times and
   their ratio, the installer's system time and its CPU time per member
   from the N before (the difference of the two runs' CPU times over the
   difference of their members, so that neither the start of the process
   nor the coarse ticks of a short run's system time count); then how
   much that cost per member varies from 100 members on, how many times
   the CPU of 4,000 members each four times as many cost (linear is 4),
   and the installer's peak resident size at each N (by GNU time).
2. Stored members against cp: an archive of two stored members of 15 MB in
   all, installed, against `cp` copying the same two files into a fresh
   folder.
3. Under Wine: the Windows build (YMW_WINDOWS_BUILD, default
   build-windows-x86_64, else build-windows) installing the 1,000- and the
   4,000-member archives into one booted prefix (its install folder moved
   aside between runs), each against what Wine itself costs to write as
   many files the way the installer writes one:
   tests/wine/create_files.exe of that build creating as many files of 4
   KiB, each beside its path and moved over it, in a fresh folder; CPU
   and wall time. First the Windows build on the one-member archive
   against create_files.exe creating no file: what each costs besides its
   files (Wine's start; and the installer's questions, cmd.exe for each
   mkdir, the shortcuts), so that the CPU per file beyond those starts
   can be compared too. Then the Windows build against the POSIX build on
   the 1,000-member archive in the same prefix, in wall time; and
   create_files.exe creating 1,000 and 4,000 files, each only created and
   closed. Skipped, with the reason, without Wine or that build.

The targets are printed with each figure, met or not. The archives, the
Wine prefix and every run's output are kept in $MEMBERS_BENCH_DIR (default
$TMPDIR/yamawyrm-members-bench); the outputs are removed at the end, not
between runs: a file system that has just freed many files (ext4 keeps
just-freed inodes aside for a few minutes) is slower to create new ones
for a while, the more so the more it freed. Leave some minutes between
two runs of this benchmark, or after removing many files on the same file
system, or the file creations of both peers are slower and the ratios
closer to 1.

Needs: python3, lhasa, cp (tools/install-deps.sh bench installs what is
missing), and for part 3 Wine and a Windows build (tools/build-windows.sh).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, 'tools'))
import make_stored_archive  # noqa: E402

# Answers for a fresh install: the default directory, no name, no guide,
# then Return, and one to spare.
ANSWERS = b'\n\nn\nn\n\n'
MEMBER_SIZE = 4096
SMALL_COUNTS = (1, 100, 1000, 4000, 16000, 64000)
# From here on the CPU of 4N members is held against that of N.
GROWTH_FROM = 4000
WINE_COUNTS = (1000, 4000)
STORED_FILES = (('movie.dat', 9000000), ('sound.dat', 6000000))
INSTALL_FOLDER = ('drive_c', 'games', 'yamawyrm')
# Targets: the installer's CPU against lhasa's from 4,000 members on; how
# much the CPU per member may vary from 100 members on; the CPU of 4N
# members against N's from 4,000 on (linear is 4); stored members against
# cp; under Wine, the Windows build's CPU against create_files.exe's for
# as many files, and its wall time against the POSIX build's.
TARGET_LHASA = 0.8
TARGET_SPREAD = 1.5
TARGET_GROWTH = 4.6
TARGET_CP = 2.0
TARGET_CREATE = 1.1
TARGET_WINE = 2.0


class Run:
    """One finished run: CPU, system and wall seconds, and its exit code."""

    def __init__(self, cpu, system, wall, code):
        self.cpu, self.system, self.wall, self.code = cpu, system, wall, code


def timed(argv, cwd, env=None, stdin=b''):
    """Runs `argv` in `cwd` with `stdin` on its standard input and its
    output thrown away, and returns its Run, from the kernel's own
    accounting. Started with posix_spawn, so that nothing of this process
    is copied into it first."""
    program = argv[0] if os.path.isabs(argv[0]) else shutil.which(argv[0])
    read_end, write_end = os.pipe()
    null = os.open(os.devnull, os.O_WRONLY)
    here = os.getcwd()
    os.chdir(cwd)
    try:
        start = time.monotonic()
        pid = os.posix_spawn(program, argv, os.environ if env is None else env,
                             file_actions=[(os.POSIX_SPAWN_DUP2, read_end, 0), (os.POSIX_SPAWN_DUP2, null, 1),
                                           (os.POSIX_SPAWN_DUP2, null, 2)])
    finally:
        os.chdir(here)
        os.close(read_end)
        os.close(null)
    try:
        os.write(write_end, stdin)
    except BrokenPipeError:
        pass
    os.close(write_end)
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    return Run(usage.ru_utime + usage.ru_stime, usage.ru_stime, wall, os.waitstatus_to_exitcode(status))


def peak_kib(argv, cwd, env, stdin):
    """The peak resident size of `argv` in KiB, by GNU time: a process of
    its own starts it, so that none of this one counts."""
    with tempfile.NamedTemporaryFile() as report:
        timed(['/usr/bin/time', '-f', '%M', '-o', report.name] + argv, cwd, env, stdin)
        return int(report.read().split()[-1])


def paired(runs, first, second):
    """Runs `first` and `second` (callables giving a Run) in turn, `runs`
    times each, after one of each not counted; returns both lists."""
    first()
    second()
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return a, b


def median(values):
    return statistics.median(values)


def ratio(a, b, field):
    """The median of the pairs' ratios of `field`."""
    return median([getattr(x, field) / getattr(y, field) for x, y in zip(a, b) if getattr(y, field) > 0])


def verdict(met):
    return 'met' if met else 'NOT MET'


def processor():
    with open('/proc/cpuinfo') as f:
        for line in f:
            if line.startswith('model name'):
                return line.split(':', 1)[1].strip()
    return 'unknown'


class Bench:
    def __init__(self, build, runs, work):
        self.setup = os.path.join(build, 'yamawyrm-setup')
        self.runs = runs
        self.work = work
        self.outputs = os.path.join(work, 'outputs')
        self.serial = 0

    def fresh(self, label):
        """A new empty folder for one run's output."""
        self.serial += 1
        path = os.path.join(self.outputs, '%s-%d' % (label, self.serial))
        os.makedirs(path)
        return path

    def archive(self, name, members):
        """The archive `name` of (member name, bytes) pairs, made once."""
        folder = os.path.join(self.work, name)
        path = os.path.join(folder, 'ymw.lz_')
        if not os.path.exists(path):
            os.makedirs(folder, exist_ok=True)
            with open(path + '.new', 'wb') as f:
                for member, data in members:
                    f.write(make_stored_archive.stored_member(member.encode('cp932'), data))
                f.write(b'\0')
            os.replace(path + '.new', path)
        return folder

    def environment(self, prefix, env=None):
        environment = {k: v for k, v in os.environ.items() if k != 'COMSPEC'}
        environment['WINEPREFIX'] = prefix
        environment.update(env or {})
        return environment

    def install(self, folder, prefix, env=None):
        return timed([self.setup], folder, self.environment(prefix, env), ANSWERS)

    def install_peak(self, folder):
        """The peak resident size of one install, in KiB."""
        return peak_kib([self.setup], folder, self.environment(self.fresh('peak')), ANSWERS)

    def check(self, prefix, members):
        installed = os.path.join(prefix, *INSTALL_FOLDER)
        for member, data in members:
            with open(os.path.join(installed, member), 'rb') as f:
                if f.read() != data:
                    raise SystemExit('members_bench: the installer wrote a wrong %s' % member)

    def installer(self, folder, members):
        """A run of the installer on the archive in `folder` into a fresh
        prefix, as a callable; the first run's files are checked."""
        checked = []

        def run():
            prefix = self.fresh('setup')
            result = self.install(folder, prefix)
            if not checked:
                self.check(prefix, members)
                checked.append(True)
            return result
        return run


def small_members(count):
    random = __import__('random').Random(count)
    return [('member%05d.dat' % i, random.randbytes(MEMBER_SIZE)) for i in range(count)]


def small_members_part(bench):
    print('1. Stored members of 4 KiB: yamawyrm-setup against lhasa xq on the same archive')
    print('%6s %10s %10s %9s %10s %10s %14s %14s' % ('N', 'setup CPU', 'lhasa CPU', 'CPU ratio', 'setup sys',
                                                   'setup wall', 'CPU per member', 'lhasa\'s'))
    results = {}
    for count in SMALL_COUNTS:
        members = small_members(count)
        folder = bench.archive('small-%d' % count, members)

        def lhasa():
            return timed(['lhasa', 'xq', os.path.join(folder, 'ymw.lz_')], bench.fresh('lhasa'))

        a, b = paired(bench.runs, bench.installer(folder, members), lhasa)
        results[count] = (a, b)
    per_member = {}
    previous = None
    for count in SMALL_COUNTS:
        a, b = results[count]
        cpu = median([r.cpu for r in a])
        lhasa_cpu = median([r.cpu for r in b])
        if previous is not None:
            per_member[count] = (cpu - previous[1]) / (count - previous[0])
            lhasa_per_member = (lhasa_cpu - previous[2]) / (count - previous[0])
        previous = (count, cpu, lhasa_cpu)
        print('%6d %9.4fs %9.4fs %9.2f %9.4fs %9.4fs %14s %14s' % (
            count, cpu, lhasa_cpu, ratio(a, b, 'cpu'), median([r.system for r in a]), median([r.wall for r in a]),
            '%.1f us' % (per_member[count] * 1e6) if count > 1 else '-',
            '%.1f us' % (lhasa_per_member * 1e6) if count > 1 else '-'))
    for count in SMALL_COUNTS:
        if count >= GROWTH_FROM:
            got = ratio(*results[count], 'cpu')
            print('   CPU at %d members: %.2f of lhasa\'s (target: at most %.1f): %s' % (
                count, got, TARGET_LHASA, verdict(got <= TARGET_LHASA)))
    for count in SMALL_COUNTS:
        if count >= GROWTH_FROM and 4 * count in results:
            growth, lhasa_growth = [median([r.cpu for r in results[4 * count][side]]) /
                                    median([r.cpu for r in results[count][side]]) for side in (0, 1)]
            print('   CPU of %d members against %d: %.2f times, lhasa\'s %.2f times (linear: 4; target: at most %.1f): '
                  '%s' % (4 * count, count, growth, lhasa_growth, TARGET_GROWTH, verdict(growth <= TARGET_GROWTH)))
    # From 100 members on: the costs per member from each N to the next.
    from_100 = [cost for count, cost in per_member.items() if count > 100]
    if min(from_100) <= 0:
        # More members that cost less: the machine's speed moved between
        # the sizes, and the spread tells nothing.
        print('   CPU per member (from the N before) from 100 to %d members: a cost at or below zero, '
              'so the machine drifted between sizes; run again (target: below %.1f): %s' % (
                  SMALL_COUNTS[-1], TARGET_SPREAD, verdict(False)))
    else:
        spread = max(from_100) / min(from_100)
        print('   CPU per member (from the N before) from 100 to %d members varies %.2f times '
              '(target: below %.1f): %s' % (SMALL_COUNTS[-1], spread, TARGET_SPREAD,
                                           verdict(spread < TARGET_SPREAD)))
    peaks = []
    for count in SMALL_COUNTS:
        folder = os.path.join(bench.work, 'small-%d' % count)
        peaks.append(median([bench.install_peak(folder) for _ in range(3)]))
    print('   peak resident size at %s members: %s MiB (GNU time, median of 3)' % (
        ', '.join(str(c) for c in SMALL_COUNTS), ', '.join('%.2f' % (p / 1024) for p in peaks)))


def stored_part(bench):
    random = __import__('random').Random(15)
    members = [(name, random.randbytes(size)) for name, size in STORED_FILES]
    folder = bench.archive('stored', members)
    sources = []
    for name, data in members:
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            with open(path, 'wb') as f:
                f.write(data)
        sources.append(path)

    def copy():
        return timed(['cp'] + sources + [bench.fresh('cp')], folder)

    a, b = paired(bench.runs, bench.installer(folder, members), copy)
    total = sum(size for _, size in STORED_FILES)
    got = ratio(a, b, 'cpu')
    print('2. %.0f MB in two stored members: yamawyrm-setup %.4f s CPU, cp of the two files %.4f s CPU' % (
        total / 1e6, median([r.cpu for r in a]), median([r.cpu for r in b])))
    print('   CPU ratio %.2f (target: at most %.1f): %s' % (got, TARGET_CP, verdict(got <= TARGET_CP)))


def windows_build():
    """The Windows build that this machine's Wine runs, and its loader; or
    (None, reason)."""
    named = os.environ.get('YMW_WINDOWS_BUILD')
    candidates = [named] if named else [os.path.join(ROOT, 'build-windows-x86_64'),
                                        os.path.join(ROOT, 'build-windows')]
    for build in candidates:
        exe = os.path.join(build, 'yamawyrm-setup.exe')
        if not os.path.exists(exe):
            continue
        with open(exe, 'rb') as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], 'little')
        is_64 = head[pe + 4:pe + 6] == b'\x64\x86'
        for loader in (['/usr/lib/wine/wine64', 'wine64'] if is_64 else ['/usr/lib/wine/wine', 'wine']):
            found = shutil.which(loader)
            if found and subprocess.run([found, '--version'], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode == 0:
                return build, found
    if not shutil.which('wine') and not shutil.which('wine64'):
        return None, 'Wine is not installed (tools/install-deps.sh wine)'
    return None, 'no Windows build that Wine runs here (tools/build-windows.sh, or YMW_WINDOWS_BUILD)'


def wine_part(bench):
    build, loader = windows_build()
    if build is None:
        print('3. Under Wine: skipped: %s' % loader)
        return
    creator = os.path.join(build, 'tests', 'wine', 'create_files.exe')
    prefix = os.path.join(bench.work, 'wine-prefix')
    home = os.path.join(bench.work, 'wine-home')
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=prefix, HOME=home, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')
    env.pop('DISPLAY', None)
    if not os.path.isdir(os.path.join(prefix, 'drive_c', 'windows')):
        subprocess.run([loader, 'wineboot', '-i'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=600)
    server = os.path.join(os.path.dirname(loader), 'wineserver')
    if not os.path.exists(server):
        server = shutil.which('wineserver') or 'wineserver'
    subprocess.run([server, '-p'], env=env)
    try:
        installed = os.path.join(prefix, *INSTALL_FOLDER)
        checked = set()

        def moved_aside():
            if os.path.exists(installed):
                os.rename(installed, os.path.join(bench.fresh('moved'), 'yamawyrm'))

        def windows(count):
            """A run of the Windows build on the archive of `count` members;
            the first run's files are checked."""
            folder = os.path.join(bench.work, 'small-%d' % count)
            moved_aside()
            run = timed([loader, os.path.join(build, 'yamawyrm-setup.exe')], folder, env, ANSWERS)
            if count not in checked:
                bench.check(prefix, small_members(count))
                checked.add(count)
            return run

        def created(count, moved):
            """A run of create_files.exe making `count` files in a fresh folder."""
            target = bench.fresh('files')
            windows_target = 'Z:' + target.replace('/', '\\')
            return timed([loader, creator, windows_target, str(count), str(MEMBER_SIZE)] + (['moved'] if moved else []),
                         target, env)

        for count in (1,) + WINE_COUNTS:
            bench.archive('small-%d' % count, small_members(count))
        if os.path.exists(creator):
            # What each costs besides its files: Wine's start, and the
            # installer's questions, folders and shortcuts.
            one, none = paired(bench.runs, lambda: windows(1), lambda: created(0, False))
            starts = median([r.cpu for r in one]), median([r.cpu for r in none])
            print('3. Under Wine: the Windows build against create_files.exe creating as many files of 4 KiB, '
                  'each beside its path and moved over it')
            print('   on one member and on no file: %.3f s and %.3f s CPU, %.3f s and %.3f s wall' % (
                starts + (median([r.wall for r in one]), median([r.wall for r in none]))))
            print('%6s %10s %10s %9s %10s %10s %15s' % ('N', 'setup CPU', 'files CPU', 'CPU ratio', 'setup wall',
                                                       'files wall', 'beyond starts'))
            for count in WINE_COUNTS:
                a, b = paired(bench.runs, lambda: windows(count), lambda: created(count, True))
                got = ratio(a, b, 'cpu')
                cpus = median([r.cpu for r in a]), median([r.cpu for r in b])
                # The CPU per file beyond each one's start, setup's against create_files.exe's.
                beyond = ((cpus[0] - starts[0]) / (count - 1)) / ((cpus[1] - starts[1]) / count)
                print('%6d %9.3fs %9.3fs %9.2f %9.3fs %9.3fs %15.2f   (target: CPU ratio at most %.1f): %s' % (
                    count, cpus[0], cpus[1], got, median([r.wall for r in a]), median([r.wall for r in b]), beyond,
                    TARGET_CREATE, verdict(got <= TARGET_CREATE)))
        else:
            print('3. Under Wine: against create_files.exe: skipped: no %s' % creator)

        def posix():
            moved_aside()
            return bench.install(os.path.join(bench.work, 'small-%d' % WINE_COUNTS[0]), prefix, env={'HOME': home})

        a, b = paired(bench.runs, lambda: windows(WINE_COUNTS[0]), posix)
        got = ratio(a, b, 'wall')
        print('   %d members: the Windows build under Wine %.3f s wall, the POSIX build %.3f s wall'
              % (WINE_COUNTS[0], median([r.wall for r in a]), median([r.wall for r in b])))
        print('   wall ratio %.2f (target: at most %.1f): %s' % (got, TARGET_WINE, verdict(got <= TARGET_WINE)))
        if not os.path.exists(creator):
            return
        print('   create_files.exe only creating (wall, median of %d):' % bench.runs)
        for count in WINE_COUNTS:
            print('     %5d files %8.3f s' % (count, median([created(count, False).wall for _ in range(bench.runs)])))
    finally:
        subprocess.run([server, '-k'], env=env)


def main():
    if len(sys.argv) > 3:
        raise SystemExit('usage: %s [BUILD_DIR [RUNS]]' % sys.argv[0])
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build'))
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    if runs < 1:
        raise SystemExit('members_bench: RUNS must be a positive number')
    subprocess.run([os.path.join(ROOT, 'tools', 'install-deps.sh'), 'bench'], check=True)
    if not os.access(os.path.join(build, 'yamawyrm-setup'), os.X_OK):
        raise SystemExit('members_bench: no %s/yamawyrm-setup; build the project first' % build)
    work = os.environ.get('MEMBERS_BENCH_DIR') or os.path.join(tempfile.gettempdir(), 'yamawyrm-members-bench')
    bench = Bench(build, runs, work)
    # What an interrupted run left is removed at the end too, not now.
    left = bench.outputs + '-left'
    if os.path.exists(bench.outputs):
        shutil.rmtree(left, ignore_errors=True)
        os.rename(bench.outputs, left)
    print('processor: %s; %d runs of each program, taken in pairs; medians' % (processor(), runs))
    try:
        small_members_part(bench)
        stored_part(bench)
        wine_part(bench)
    finally:
        shutil.rmtree(bench.outputs, ignore_errors=True)
        shutil.rmtree(left, ignore_errors=True)


if __name__ == '__main__':
    main()

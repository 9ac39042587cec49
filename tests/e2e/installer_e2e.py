#!/usr/bin/env python3
"""End-to-end runs of the built installer.

Each case runs the executable in a fresh temporary folder with a fresh Wine
prefix, answers piped on standard input, and COMSPEC pointing at a recorder
that logs every command line it is handed. The console output is compared
byte for byte (code page 932 under LC_ALL=C, UTF-8 under a UTF-8 locale),
and so are the command lines, the exit code and the files left behind.

Usage: installer_e2e.py BINARY DATA_DIR [unittest options]
"""
import collections
import contextlib
import fcntl
import hashlib
import json
import locale
import os
import random
import re
import resource
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools'))
import make_stored_archive  # noqa: E402

BINARY = None
DATA_DIR = None


# --- Archives: stored members, written by the demo's own tool ------------

def stored_member(name, data):
    """A level-0 header for a stored member, then its data."""
    return make_stored_archive.stored_member(
        name.encode('cp932') if isinstance(name, str) else name, data)


GAME_FILES = {
    'yamawyrm.exe': b'MZ\x90\x00' + bytes(range(256)) * 4,
    'yamawyrm.ico': b'\x00\x00\x01\x00icon',
    'jguide.txt': 'ガイドブック\r\n'.encode('cp932'),
    'license.txt': b'license\r\n',
}


def game_archive(files=GAME_FILES):
    return b''.join(stored_member(n, d) for n, d in files.items()) + b'\x00'


# --- The dialogue as it must appear ---------------------------------------

RULE = '-' * 62 + '\n'
# The name of a file being written beside its path, before it is moved
# there.
NEW_FILE = re.compile(r'~ymw[0-9]+\.tmp$')
# The user of a prefix that Wine booted, and the folders it made for the
# shortcuts.
USER_NAME = 'player'
USER_FOLDERS = (('AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs'), ('Desktop',))
# A stand-in for Wine that a launcher starts from a desktop entry: it
# records the prefix it was given and its arguments, each ended by a NUL.
WINE_STAND_IN = """#!/bin/sh
{ printf '%s\\0' "$WINEPREFIX"; for a in "$@"; do printf '%s\\0' "$a"; done; } > "$LAUNCH_RECORD.part"
mv "$LAUNCH_RECORD.part" "$LAUNCH_RECORD"
"""
# The mode of a file that a test makes (the umask applied).
_UMASK = os.umask(0)
os.umask(_UMASK)
OUTSIDE_MODE = 0o666 & ~_UMASK


def z_root(path):
    """The Windows path by which Wine reaches a host path."""
    return 'Z:' + path.replace('/', '\\')
BANNER = ('\x1b[2J' + RULE +
          '  日本語Wyrmhold(Yamawyrm) for Windows95/98/NT  セットアップ\n'
          '  Yamawyrm移植チーム 制作\n' + RULE + '\n')
PROMPT = ' -->'
ASK_DIRECTORY = ('Yamawyrmをインストールする場所を指定してください。\n'
                 ' (省略するとc:\\games\\yamawyrm\\になります。)\n' + PROMPT)
TOO_LONG = 'パスが長すぎます。もっと短い場所を指定してください。\n'
BAD_CHARACTER = 'パスに使えない文字が含まれています。別の場所を指定してください。\n'
BAD_END = 'フォルダ名の終わりに空白やピリオドは使えません。別の場所を指定してください。\n'
EXTRACTING_ALL = '--- バイナリファイルを展開中...\n'
ASK_UPDATE = 'バージョン1.0.5.4.1をY2k対策版にアップデートしますか? [y/n]\n' + PROMPT
EXTRACTING_EXE = '--- "yamawyrm.exe"を展開中...\n'
ASK_REPLACE = '旧ファイルを全消去してインストールしていいですか? [y/n]\n' + PROMPT
DELETING = 'ファイルを消去します。\n'
NOT_INSTALLED = 'インストールをしませんでした。\n'
NO_NAME = '名前を省略しました。Yamawyrm起動時に入力してください。\n'
NAME_TOO_LONG = '名前が長すぎます。もっと短い名前を入力してください。\n'
UNCONVERTIBLE = '入力できない文字が含まれています。もう一度入力してください。\n'
SETTINGS = ('\n--- Yamawyrmの設定に関しての質問をします...\n'
            'あなたの名前は(あなたのプレイヤーの名前は)何ですか ?\n' + PROMPT)
FILES_WRITTEN = ('\n--- 設定ファイル"wyrmhold.cnf"を作成中...\n作成完了。\n'
                 '\n--- 起動用バッチファイル"yamawyrm.bat"を作成中...\n作成完了。\n'
                 '\n--- ショートカットを作成中...\n')
CANNOT_WRITE = 'ファイル"%s"の書き込みに失敗しました。\n'
CANNOT_CREATE = 'ファイル"%s"を作成できませんでした。\n'
SHORTCUTS_DONE = '作成完了。\n\n\n'
SAVE_FAILED = '保存に失敗しました\n'
START_MENU_FOLDER = ('windows', 'ｽﾀｰﾄ ﾒﾆｭｰ', 'ﾌﾟﾛｸﾞﾗﾑ')
DESKTOP_FOLDER = ('windows', 'ﾃﾞｽｸﾄｯﾌﾟ')
LINK_NAME = 'ワームホールド Ver 1.0.5.4.1.lnk'
ASK_GUIDE = ('初心者向けの『ガイドブック』を読みますか? [y/n]\n'
             ' (初めてプレイする方はぜひお読みください。)\n' + PROMPT)
CLOSING = '\nインストールを終了しました。\nリターンキーを押してください。'
INCOMPLETE = 'インストールは完了していません。上のエラーを確認してください。\n'
CLOSING_INCOMPLETE = CLOSING.replace('\n', '\n' + INCOMPLETE, 1)
LISTING_ALL = ''.join('\t%s\n' % n for n in GAME_FILES) + '[ EOF ]\n'
LISTING_UPDATE = '\tyamawyrm.exe\n[ EOF ]\n\tyamawyrm.ico\n[ EOF ]\n'
# What Wine's cmd.exe says on standard error of a mkdir whose folder
# exists, under the C locale (the built-in interpreter says the same).
ALREADY_EXISTS = 'File already exists.\n\n'


def directory_part(directory, refusals=''):
    return (ASK_DIRECTORY + refusals + '\n%sにインストールします。\n\n'
            '--- ディレクトリ"%s"を作成中...\n\n' % (directory, directory))


def update_part(directory):
    return '"%s"に既にyamawyrm.exeが存在しています!\n' % directory + ASK_UPDATE


def ending(name_lines='', shortcut_lines=''):
    return (SETTINGS + name_lines + FILES_WRITTEN + shortcut_lines + SHORTCUTS_DONE +
            ASK_GUIDE + CLOSING)


def mkdir_lines(*levels):
    return ['mkdir ' + level for level in levels]


def deltree_lines(directory, quote=False):
    q = '"' if quote else ''
    return ['deltree /y %s%s%s%s' % (q, directory, tail, q)
            for tail in ('yamawyrm.exe', 'recover.exe', 'logfile', 'record',
                         '*.sav', 'bone*.*')]


# --- Running the installer ------------------------------------------------

RECORDER = '''#!/bin/sh
# Logs the command line it was handed ("/c" LINE) and succeeds.
printf '%s\\n' "$2" >> "$RECORD_LOG"
'''


class Run:
    def __init__(self, stdout, code, commands, errors=b''):
        self.stdout = stdout
        self.code = code
        self.commands = commands
        self.errors = errors              # standard error


class InstallerCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='ymw-e2e-')
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.cwd = os.path.join(self.root, 'dist')
        self.prefix = os.path.join(self.root, 'prefix')
        os.makedirs(self.cwd)
        os.makedirs(os.path.join(self.prefix, 'drive_c'))
        # The two folders that a Japanese system has below C:\windows; the
        # shortcuts are saved into them, never made.
        os.makedirs(os.path.join(self.prefix, 'drive_c', *START_MENU_FOLDER))
        os.makedirs(os.path.join(self.prefix, 'drive_c', *DESKTOP_FOLDER))
        self.recorder = os.path.join(self.root, 'recorder.sh')
        with open(self.recorder, 'w') as f:
            f.write(RECORDER)
        os.chmod(self.recorder, 0o755)
        self.log = os.path.join(self.root, 'commands.log')
        self.put_archive(game_archive())

    def put_archive(self, data):
        with open(os.path.join(self.cwd, 'ymw.lz_'), 'wb') as f:
            f.write(data)

    def host(self, *parts):
        return os.path.join(self.prefix, 'drive_c', *parts)

    def default_dir(self):
        os.makedirs(self.host('games', 'yamawyrm'), exist_ok=True)
        return self.host('games', 'yamawyrm')

    def setup_env(self, locale='C', recorder=True, extra_env=None):
        env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'),
               'HOME': self.root, 'WINEPREFIX': self.prefix,
               'LC_ALL': locale, 'RECORD_LOG': self.log}
        if recorder:
            env['COMSPEC'] = self.recorder
        env.update(extra_env or {})
        return env

    def run_setup(self, answers, locale='C', recorder=True, extra_env=None, size_limit=None):
        env = self.setup_env(locale, recorder, extra_env)
        if isinstance(answers, str):
            answers = answers.encode('utf-8' if 'UTF' in locale.upper() else 'cp932')
        def limit_file_size():
            # A full disk: writes past the limit fail with EFBIG.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (size_limit, resource.RLIM_INFINITY))
        result = subprocess.run([BINARY], input=answers, cwd=self.cwd, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60,
                                preexec_fn=limit_file_size if size_limit is not None else None)
        commands = []
        if os.path.exists(self.log):
            with open(self.log, 'rb') as f:
                commands = [line.decode('cp932') for line in f.read().splitlines()]
            os.unlink(self.log)
        return Run(result.stdout, result.returncode, commands, result.stderr)

    def assertConsole(self, run, text, encoding='cp932'):
        expected = text.encode(encoding)
        if run.stdout != expected:
            self.assertEqual(run.stdout.decode(encoding, 'replace'), text)
            self.assertEqual(run.stdout, expected)

    def resolve(self, path):
        """A path of a bad-input row: below the prefix for 'prefix/', the
        home folder for 'home/', else below the temporary root; '/'
        separates."""
        head, _, rest = path.partition('/')
        return (os.path.join(self.prefix, rest) if head == 'prefix' else
                os.path.join(self.root, rest) if head == 'home' else os.path.join(self.root, path))

    def prepare(self, setup):
        """Makes c:\\inst, outside/dir and outside/victim, then each setup
        item: 'folder/' below drive_c (or dist/, outside/ or home/ below the
        root), 'file:path' holding DECOY, 'fifo:path', 'link:path>target
        below outside/', 'hard:path>file below outside/' (a hard link),
        'mount:path>folder below outside/' (a bind mount; the test is
        skipped where mounting is not allowed), 'booted' (the user folders
        of a prefix that Wine booted for USER_NAME, and not the fixed link
        folders, and drives c: and z: among its dosdevices),
        'leftovers:folder' (the 100 names a new file takes while it is
        written, each holding DECOY, as runs killed while writing leave
        them), 'held:path' (a file holding DECOY that this test process
        keeps locked for the row, as a run that is writing holds its new
        file); 'builtin', 'limit', 'win98', 'interrupt', 'interrupt:extraction'
        and 'race:path' are for the runner."""
        os.makedirs(self.host('inst'), exist_ok=True)
        os.makedirs(os.path.join(self.root, 'outside', 'dir'), exist_ok=True)
        with open(os.path.join(self.root, 'outside', 'victim'), 'wb') as f:
            f.write(b'victim')
        self.mounts = []
        self.held = []
        for item in setup:
            if item == 'booted':
                os.makedirs(os.path.join(self.prefix, 'dosdevices'), exist_ok=True)
                os.symlink('../drive_c', os.path.join(self.prefix, 'dosdevices', 'c:'))
                os.symlink('/', os.path.join(self.prefix, 'dosdevices', 'z:'))
                for folder in USER_FOLDERS:
                    os.makedirs(self.host('users', USER_NAME, *folder), exist_ok=True)
                for folder in (START_MENU_FOLDER, DESKTOP_FOLDER):
                    shutil.rmtree(self.host(*folder), ignore_errors=True)
                continue
            kind, _, rest = item.rpartition(':')
            rest, _, target = rest.partition('>')
            head, _, tail = rest.partition('/')
            path = (os.path.join(self.root, tail) if head == 'home' else
                    os.path.join(self.root, rest) if head in ('dist', 'outside') else self.host(rest))
            target = os.path.join(self.root, 'outside', target)
            if kind in ('race', 'interrupt'):
                continue
            if kind == 'leftovers':
                os.makedirs(path, exist_ok=True)
                for number in range(100):
                    with open(os.path.join(path, '~ymw%d.tmp' % number), 'wb') as f:
                        f.write(DECOY)
                continue
            if kind or item.endswith('/'):
                os.makedirs(path if item.endswith('/') else os.path.dirname(path), exist_ok=True)
            if kind == 'fifo':
                os.mkfifo(path)
            elif kind in ('file', 'held'):
                with open(path, 'wb') as f:
                    f.write(DECOY)
                if kind == 'held':
                    held = open(path, 'rb')
                    fcntl.flock(held, fcntl.LOCK_EX)
                    self.held.append(held)
            elif kind == 'hard':
                os.link(target, path)
            elif kind == 'link':
                if os.path.isdir(path) and not os.path.islink(path):
                    os.rmdir(path)
                os.symlink(target, path)
            elif kind == 'mount':
                os.makedirs(path, exist_ok=True)
                result = subprocess.run(['mount', '--bind', target, path], stderr=subprocess.PIPE)
                if result.returncode != 0:
                    self.skipTest('bind mounts are not allowed here: %s' % result.stderr.decode().strip())
                self.mounts.append(path)

    def release_mounts(self):
        for path in getattr(self, 'mounts', []):
            subprocess.run(['umount', path])
        self.mounts = []
        for held in getattr(self, 'held', []):
            held.close()
        self.held = []

    def assertFiles(self, files):
        for path, expected in files.items():
            if path.startswith('launch:'):
                self.assertLaunches(self.resolve(path[len('launch:'):]), expected)
                continue
            full = self.resolve(path)
            if path.startswith('outside/') and isinstance(expected, bytes):
                # An outside file keeps its mode, and shares its bytes with
                # nothing the installer wrote.
                info = os.lstat(full)
                self.assertEqual((stat.S_IMODE(info.st_mode), info.st_nlink), (OUTSIDE_MODE, 1), path)
            if expected is None:
                self.assertFalse(os.path.lexists(full), path)
            elif isinstance(expected, tuple) and expected[0] is WHOLE_OR_ABSENT:
                if os.path.lexists(full):
                    with open(full, 'rb') as f:
                        self.assertEqual(f.read(), expected[1], path)
            elif expected is FIFO:
                self.assertTrue(stat.S_ISFIFO(os.lstat(full).st_mode), path)
            elif expected is REGULAR:
                self.assertTrue(stat.S_ISREG(os.lstat(full).st_mode), path)
            else:
                self.assertFalse(os.path.islink(full), path)
                with open(full, 'rb') as f:
                    self.assertEqual(f.read(), expected, path)

    def assertLaunches(self, entry, arguments):
        """The desktop entry `entry` is valid, and what a launcher starts
        from it is Wine, in this run's prefix, with `arguments`: read back
        by GLib's own parser of the Exec rules, through a stand-in for Wine
        that records what it was handed."""
        if shutil.which('desktop-file-validate') is None or shutil.which('gio') is None:
            self.skipTest('desktop-file-validate and gio (desktop-file-utils, libglib2.0-bin) are not here')
        checked = subprocess.run(['desktop-file-validate', entry], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(checked.returncode, 0, checked.stdout.decode('utf-8', 'replace'))
        stand_in = os.path.join(self.root, 'stand-in')
        os.makedirs(stand_in, exist_ok=True)
        record = os.path.join(self.root, 'launched.txt')
        for name in ('wine', 'wine-stable'):
            with open(os.path.join(stand_in, name), 'w') as f:
                f.write(WINE_STAND_IN)
            os.chmod(os.path.join(stand_in, name), 0o755)
        env = {'PATH': stand_in + ':' + os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': self.root,
               'LAUNCH_RECORD': record}
        subprocess.run(['gio', 'launch', entry], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60, check=True)
        deadline = time.time() + 30
        while not os.path.exists(record) and time.time() < deadline:
            time.sleep(0.05)
        time.sleep(0.2)
        with open(record, 'rb') as f:
            launched = f.read().decode('utf-8').split('\0')[:-1]
        os.unlink(record)
        prefix = os.path.abspath(self.prefix)
        self.assertEqual(launched, [prefix] + [a.format(root=self.root, zroot=z_root(self.root)) for a in arguments])

    def assertNoNewFileLeft(self, kept=()):
        """No file that was being written stays beside its path: every one
        was moved into place or removed, and so was every one that an
        earlier run left, but for those in `kept`."""
        # The prefix as well, where it lies elsewhere (the Wine tests' own).
        tops = {self.root, os.path.join(self.prefix, 'drive_c')}
        left = {os.path.join(top, name) for root in tops for top, _, names in os.walk(root)
                for name in names if NEW_FILE.match(name)}
        self.assertEqual(sorted(left), sorted(self.resolve(path) for path in kept))

    @contextlib.contextmanager
    def racing(self, row):
        """While it lasts, a thread swaps a link to outside/victim and a
        file in turn in at the path of the row's 'race:' item."""
        items = [item.partition(':')[2] for item in row.setup if item.startswith('race:')]
        if not items:
            yield
            return
        path = self.host(*items[0].split('/'))
        victim = os.path.join(self.root, 'outside', 'victim')
        stop = threading.Event()

        def swap():
            while not stop.is_set():
                try:
                    os.symlink(victim, path + '.racing-link')
                    os.replace(path + '.racing-link', path)
                    with open(path + '.racing-file', 'wb') as f:
                        f.write(DECOY)
                    os.replace(path + '.racing-file', path)
                except OSError:
                    pass

        racer = threading.Thread(target=swap)
        racer.start()
        try:
            yield
        finally:
            stop.set()
            racer.join()

    @staticmethod
    def rounds(row):
        """How often a row runs: more than once where chance decides."""
        if 'interrupt:extraction' in row.setup:
            return INTERRUPT_ROUNDS
        return RACE_ROUNDS if row.console is RACE else 1

    def checkRound(self, row, run, code, files):
        """Where every round is a case of its own (an interrupt at a moment
        of chance), what it must leave, before the next round runs."""
        if 'interrupt:extraction' in row.setup:
            self.assertEqual(run.code, code)
            self.assertFiles(files)
            self.assertNoNewFileLeft()

    def assertRowOutcome(self, row, run, console, code, files, errors=None):
        if row.console is not RACE:
            self.assertConsole(run, console)
        if errors is not None:
            self.assertEqual(run.errors.decode('cp932'), errors)
        if isinstance(code, tuple):
            self.assertIn(run.code, code)
        else:
            self.assertEqual(run.code, code)
        self.assertFiles(files)
        self.assertNoNewFileLeft([path for path, data in files.items() if data is not None and NEW_FILE.search(path)])

    def assertInstalled(self, folder, names=GAME_FILES):
        for name in names:
            with open(os.path.join(folder, name), 'rb') as f:
                self.assertEqual(f.read(), GAME_FILES[name], name)

    def assertTextFilesWritten(self, folder, directory, name_option):
        """The configuration file's OPTIONS line and the batch file."""
        with open(os.path.join(folder, 'wyrmhold.cnf'), 'rb') as f:
            lines = f.read().split(b'\r\n')
        self.assertEqual(len(lines), 72)  # 71 lines and the empty rest
        self.assertEqual(lines[21], b'OPTIONS=' + name_option +
                         b',notime,norest_on_space,noautopickup,color,nonumber_pad')
        with open(os.path.join(folder, 'yamawyrm.bat'), 'rb') as f:
            self.assertEqual(f.read(), b'@echo off\r\n' + directory[:2] + b'\r\ncd ' +
                             directory + b'\r\nyamawyrm.exe\r\n')

    def assertSettingsWritten(self, folder, directory, name_option):
        """The two text files, and the two shortcuts to the batch file in
        the prefix."""
        self.assertTextFilesWritten(folder, directory, name_option)
        for link_folder in (START_MENU_FOLDER, DESKTOP_FOLDER):
            link = self.host(*link_folder, LINK_NAME)
            with open(link, 'rb') as f:
                data = f.read()
            self.assertEqual(data[:4], b'\x4c\x00\x00\x00', link)
            info = data[0x4C:]                       # no LinkTargetIDList
            base = int.from_bytes(info[16:20], 'little')
            self.assertEqual(info[base:info.index(b'\x00', base)], directory + b'yamawyrm.bat')
            self.assertEqual(int.from_bytes(data[0x3C:0x40], 'little'), 3)  # maximised


class Branches(InstallerCase):
    def test_fresh_install_in_the_default_directory(self):
        folder = self.default_dir()
        run = self.run_setup('\nTaro Yamada\nn\n\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) +
                           EXTRACTING_ALL + LISTING_ALL + ending())
        self.assertEqual(run.code, 0)
        self.assertEqual(run.commands, mkdir_lines('c:', 'c:\\games', 'c:\\games\\yamawyrm'))
        self.assertInstalled(folder)
        self.assertSettingsWritten(folder, b'c:\\games\\yamawyrm\\', b'name:Taro,')

    def test_update_finds_an_installation_by_a_case_different_name(self):
        folder = self.default_dir()
        for name, data in (('YAMAWYRM.EXE', b'old exe'), ('Yamawyrm.Ico', b'old ico'),
                           ('jguide.txt', b'old guide'), ('save.sav', b'saved')):
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)
        run = self.run_setup('\ny\n\nn\n\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + update_part(directory) +
                           EXTRACTING_EXE + LISTING_UPDATE + ending(NO_NAME))
        self.assertEqual(run.code, 0)
        self.assertEqual(run.commands, mkdir_lines('c:', 'c:\\games', 'c:\\games\\yamawyrm'))
        # The existing files are written over under their own names.
        self.assertEqual(sorted(os.listdir(folder)),
                         ['YAMAWYRM.EXE', 'Yamawyrm.Ico', 'jguide.txt', 'save.sav',
                          'wyrmhold.cnf', 'yamawyrm.bat'])
        self.assertSettingsWritten(folder, b'c:\\games\\yamawyrm\\', b'')
        with open(os.path.join(folder, 'YAMAWYRM.EXE'), 'rb') as f:
            self.assertEqual(f.read(), GAME_FILES['yamawyrm.exe'])
        with open(os.path.join(folder, 'Yamawyrm.Ico'), 'rb') as f:
            self.assertEqual(f.read(), GAME_FILES['yamawyrm.ico'])
        with open(os.path.join(folder, 'jguide.txt'), 'rb') as f:
            self.assertEqual(f.read(), b'old guide')

    def test_replace_deletes_then_extracts_everything(self):
        folder = self.default_dir()
        with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
            f.write(b'old')
        run = self.run_setup('\nn\nY\n\nn\n\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + update_part(directory) +
                           ASK_REPLACE + DELETING + EXTRACTING_ALL + LISTING_ALL +
                           ending(NO_NAME))
        self.assertEqual(run.code, 0)
        self.assertEqual(run.commands, mkdir_lines('c:', 'c:\\games', 'c:\\games\\yamawyrm') +
                         deltree_lines(directory))
        self.assertInstalled(folder)

    def test_missing_link_folders_fail_each_shortcut_and_go_on(self):
        folder = self.default_dir()
        shutil.rmtree(self.host('windows'))
        run = self.run_setup('\nHero\nn\n\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL +
                           LISTING_ALL + ending(shortcut_lines=SAVE_FAILED * 2))
        self.assertEqual(run.code, 0)
        self.assertFalse(os.path.exists(self.host('windows')))

    def test_refusal_touches_nothing_and_exits_with_1(self):
        folder = self.default_dir()
        with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
            f.write(b'old')
        run = self.run_setup('\nn\nn\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + update_part(directory) +
                           ASK_REPLACE + NOT_INSTALLED)
        self.assertEqual(run.code, 1)
        self.assertEqual(run.commands, mkdir_lines('c:', 'c:\\games', 'c:\\games\\yamawyrm'))
        self.assertEqual(os.listdir(folder), ['yamawyrm.exe'])

    def test_yes_no_questions_prompt_again_until_the_first_byte_decides(self):
        folder = self.default_dir()
        with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
            f.write(b'old')
        # An empty line, a blank before the letter and a full-width y bring
        # the prompt back; "Nope" is no, "yes please" is yes.
        answers = '\n\n y\nｙ\nNope\nyes please\nHero\n\n\t\nn\n\n'
        run = self.run_setup(answers)
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + update_part(directory) +
                           PROMPT * 3 + ASK_REPLACE + DELETING + EXTRACTING_ALL + LISTING_ALL +
                           SETTINGS + FILES_WRITTEN + SHORTCUTS_DONE + ASK_GUIDE + PROMPT * 2 +
                           CLOSING)
        self.assertEqual(run.code, 0)

    def test_guide_is_shown_with_write(self):
        self.default_dir()
        run = self.run_setup('\n\ny\n\n')
        self.assertEqual(run.commands[-1], 'write c:\\games\\yamawyrm\\jguide.txt')
        self.assertEqual(run.code, 0)

    def test_missing_archive_ends_with_1(self):
        self.default_dir()
        os.unlink(os.path.join(self.cwd, 'ymw.lz_'))
        run = self.run_setup('\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL +
                           'Error: File cannot open. (ymw.lz_)\n')
        self.assertEqual(run.code, 1)


class Names(InstallerCase):
    def test_overlong_name_is_asked_again(self):
        folder = self.default_dir()
        # 249 bytes fit "name:%s," in its 256-byte buffer; 250 do not.
        run = self.run_setup('\n' + 'n' * 250 + '\n  Hero  Yamada\nn\n\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL + LISTING_ALL +
                           ending(NAME_TOO_LONG + PROMPT))
        self.assertSettingsWritten(folder, b'c:\\games\\yamawyrm\\', b'name:Hero,')

    def test_longest_name_and_blank_names(self):
        folder = self.default_dir()
        run = self.run_setup('\n' + 'n' * 249 + '\nn\n\n')
        self.assertEqual(run.code, 0)
        self.assertSettingsWritten(folder, b'c:\\games\\yamawyrm\\', b'name:' + b'n' * 249 + b',')
        # Blanks and tabs alone count as no name.
        # (The first run left an installation: the update is taken.)
        run = self.run_setup('\ny\n \t \nn\n\n')
        self.assertIn(NO_NAME.encode('cp932'), run.stdout)
        self.assertSettingsWritten(folder, b'c:\\games\\yamawyrm\\', b'')


class Directories(InstallerCase):
    def check_install(self, answer, directory, commands, folder, refusals=''):
        run = self.run_setup(answer + '\n\nn\n\n')
        self.assertConsole(run, BANNER + directory_part(directory, refusals) + EXTRACTING_ALL +
                           LISTING_ALL + ending(NO_NAME))
        self.assertEqual(run.commands, commands)
        self.assertEqual(run.code, 0)
        self.assertInstalled(folder)
        return run

    def test_relative_directory_is_below_the_current_one(self):
        os.makedirs(os.path.join(self.cwd, 'games'))
        self.check_install('games', 'games\\', mkdir_lines('games'),
                           os.path.join(self.cwd, 'games'))

    def test_trailing_backslash_is_kept_and_case_as_typed(self):
        os.makedirs(self.host('Games'))
        self.check_install('C:\\Games\\', 'C:\\Games\\', mkdir_lines('C:', 'C:\\Games'),
                           self.host('Games'))

    def test_driveless_directory_stands_on_the_current_drive(self):
        zroot = os.path.join(self.root, 'zroot')
        os.makedirs(os.path.join(zroot, 'games', 'yamawyrm'))
        os.makedirs(os.path.join(self.prefix, 'dosdevices'))
        os.symlink(zroot, os.path.join(self.prefix, 'dosdevices', 'z:'))
        self.check_install('\\games\\yamawyrm', '\\games\\yamawyrm\\',
                           mkdir_lines('', '\\games', '\\games\\yamawyrm'),
                           os.path.join(zroot, 'games', 'yamawyrm'))

    def test_drive_relative_directory(self):
        droot = os.path.join(self.root, 'ddrive')
        os.makedirs(os.path.join(droot, 'games'))
        os.makedirs(os.path.join(self.prefix, 'dosdevices'))
        os.symlink(droot, os.path.join(self.prefix, 'dosdevices', 'd:'))
        self.check_install('d:games', 'd:games\\', mkdir_lines('d:games'),
                           os.path.join(droot, 'games'))

    def test_forward_slashes_make_one_level(self):
        os.makedirs(self.host('games', 'ymw'))
        self.check_install('c:/games/ymw', 'c:/games/ymw\\', mkdir_lines('c:/games/ymw'),
                           self.host('games', 'ymw'))

    def test_too_long_and_forbidden_answers_are_asked_again(self):
        os.makedirs(self.host('ok'))
        answer = 'c:\\' + 'x' * 230 + '\nc:\\a*b\nc:\\a|b\nc:\\a\x01b\nc:\\ok\x00x\nc:\\ok'
        self.check_install(answer, 'c:\\ok\\', mkdir_lines('c:', 'c:\\ok'), self.host('ok'),
                           refusals=TOO_LONG + PROMPT + (BAD_CHARACTER + PROMPT) * 4)

    def test_longest_accepted_directory(self):
        name = 'x' * 228
        os.makedirs(self.host(name))
        self.check_install('c:\\' + name, 'c:\\%s\\' % name, mkdir_lines('c:', 'c:\\' + name),
                           self.host(name))

    def test_directory_with_a_blank_is_quoted_in_command_lines(self):
        folder = self.host('My Games')
        os.makedirs(folder)
        with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
            f.write(b'old')
        run = self.run_setup('c:\\My Games\nn\ny\n\ny\n\n')
        directory = 'c:\\My Games\\'
        self.assertEqual(run.commands, ['mkdir c:', 'mkdir "c:\\My Games"'] +
                         deltree_lines(directory, quote=True) +
                         ['write "c:\\My Games\\jguide.txt"'])
        self.assertInstalled(folder)

    def test_trail_byte_backslash_is_not_a_separator(self):
        # ソ is 0x83 0x5C: the answer gains its own backslash, and make_dirs
        # does not cut the path inside the character.
        folder = self.host('ソ')
        os.makedirs(folder)
        self.check_install('c:\\ソ', 'c:\\ソ\\', mkdir_lines('c:', 'c:\\ソ'), folder)


class EndOfInput(InstallerCase):
    def test_no_input_at_all_installs_into_the_default(self):
        folder = self.default_dir()
        run = self.run_setup('')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL +
                           LISTING_ALL + ending(NO_NAME))
        self.assertEqual(run.code, 0)
        self.assertInstalled(folder)

    def test_end_of_input_at_the_update_question_refuses(self):
        folder = self.default_dir()
        with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
            f.write(b'old')
        run = self.run_setup('\n')
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + update_part(directory) +
                           ASK_REPLACE + NOT_INSTALLED)
        self.assertEqual(run.code, 1)

    def test_last_line_without_line_feed_counts(self):
        self.default_dir()
        run = self.run_setup('\nHero\ny')
        self.assertEqual(run.commands[-1], 'write c:\\games\\yamawyrm\\jguide.txt')
        self.assertEqual(run.code, 0)


def locale_exists(name):
    try:
        locale.setlocale(locale.LC_CTYPE, name)
    except locale.Error:
        return False
    finally:
        locale.setlocale(locale.LC_CTYPE, 'C')
    return True


class LocaleConsole(InstallerCase):
    """The console in the character set of the user's locale, whatever it
    is, and code page 932 for everything the program writes."""

    def test_console_is_converted_both_ways(self):
        for name, encoding in (('C.UTF-8', 'utf-8'), ('ja_JP.eucJP', 'euc_jp')):
            with self.subTest(locale=name):
                if not locale_exists(name):
                    self.skipTest('the %s locale is not generated here' % name)
                self.setUp()
                folder = self.host('ゲーム')
                os.makedirs(folder)
                run = self.run_setup('c:\\ゲーム\n山田 太郎\nn\n\n'.encode(encoding), locale=name)
                directory = 'c:\\ゲーム\\'
                self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL +
                                   LISTING_ALL + ending(), encoding=encoding)
                # The command interpreter gets code page 932, as Windows gives it.
                self.assertEqual(run.commands, mkdir_lines('c:', 'c:\\ゲーム'))
                self.assertInstalled(folder)
                self.assertTextFilesWritten(folder, directory.encode('cp932'), 'name:山田,'.encode('cp932'))

    def test_a_character_without_a_code_page_932_form_is_asked_again(self):
        folder = self.default_dir()
        run = self.run_setup('\nZoë\nZoe\nn\n\n', locale='C.UTF-8')
        self.assertConsole(run, BANNER + directory_part('c:\\games\\yamawyrm\\') + EXTRACTING_ALL +
                           LISTING_ALL + ending(UNCONVERTIBLE + PROMPT), encoding='utf-8')
        self.assertTextFilesWritten(folder, b'c:\\games\\yamawyrm\\', b'name:Zoe,')


class BuiltinInterpreter(InstallerCase):
    """Without COMSPEC the host's own interpreter runs the command lines."""

    def test_fresh_install_into_an_empty_prefix_then_replace(self):
        shutil.rmtree(os.path.join(self.prefix, 'drive_c'))
        run = self.run_setup('\n\nn\n\n', recorder=False)
        directory = 'c:\\games\\yamawyrm\\'
        self.assertConsole(run, BANNER + directory_part(directory) + EXTRACTING_ALL +
                           LISTING_ALL + ending(NO_NAME, SAVE_FAILED * 2))
        folder = self.host('games', 'yamawyrm')
        self.assertInstalled(folder)

        # Old files of every kind the replacement deletes, a few it keeps,
        # and a link to a folder outside, which is removed, not followed.
        outside = os.path.join(self.root, 'outside')
        os.makedirs(outside)
        with open(os.path.join(outside, 'keep.sav'), 'wb') as f:
            f.write(b'outside')
        os.symlink(outside, os.path.join(folder, 'bones_link'))
        os.makedirs(os.path.join(folder, 'Record', 'deep'))
        for name in ('Record/deep/x', 'LOGFILE', 'one.SAV', 'bonesfile.dat', 'bones',
                     'notbone.txt', 'save.sav.txt', 'recover.exe'):
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(b'old')
        run = self.run_setup('\nn\ny\n\ny\n\n', recorder=False)
        guide = GAME_FILES['jguide.txt'].decode('cp932')
        # Each existing level draws the complaint of Wine's cmd.exe, on
        # standard error.
        self.assertEqual(run.errors.decode('cp932'), ALREADY_EXISTS * 3)
        self.assertConsole(run, BANNER + directory_part(directory) +
                           update_part(directory) + ASK_REPLACE + DELETING + EXTRACTING_ALL +
                           LISTING_ALL + SETTINGS + NO_NAME + FILES_WRITTEN + SAVE_FAILED * 2 +
                           SHORTCUTS_DONE + ASK_GUIDE + guide + CLOSING)
        self.assertEqual(run.code, 0)
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted(list(GAME_FILES) + ['notbone.txt', 'save.sav.txt',
                                                    'wyrmhold.cnf', 'yamawyrm.bat']))
        self.assertEqual(os.listdir(outside), ['keep.sav'])


class Corpus(InstallerCase):
    """Every archive of the independent encoder installs byte for byte."""

    def test_corpus_archives(self):
        corpus = os.path.join(DATA_DIR, 'corpus')
        for entry in sorted(os.listdir(corpus)):
            manifest_path = os.path.join(corpus, entry, 'manifest.json')
            if not os.path.exists(manifest_path):
                continue
            with self.subTest(archive=entry):
                self.check_archive(os.path.join(corpus, entry), manifest_path)

    def check_archive(self, folder, manifest_path):
        with open(manifest_path, encoding='utf-8') as f:
            manifest = json.load(f)
        shutil.copy(os.path.join(folder, manifest['archive']), os.path.join(self.cwd, 'ymw.lz_'))
        target = os.path.join(self.root, 'inst-' + os.path.basename(folder))
        os.makedirs(target)
        run = self.run_setup(target + '\n\nn\n\n')
        printed = run.stdout.decode('cp932')
        start = printed.index(EXTRACTING_ALL) + len(EXTRACTING_ALL)
        listing = printed[start:printed.index(SETTINGS)]
        self.assertEqual(listing.splitlines(), manifest['console_lines'])
        for item in manifest['files']:
            with open(os.path.join(folder, item['path']), 'rb') as f:
                expected = f.read()
            with open(os.path.join(target, item['name']), 'rb') as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), item['sha256'], item['name'])
            self.assertEqual(hashlib.sha256(expected).hexdigest(), item['sha256'])
        left = set(os.listdir(target)) - {'wyrmhold.cnf', 'yamawyrm.bat'}
        self.assertEqual(left, {item['name'] for item in manifest['files']})


# --- Bad inputs: one row per case, each with its exact outcome ------------

def patched(name, data, offset, value):
    """A stored member whose header bytes from `offset` are `value`, with
    its checksum made right again."""
    member = bytearray(stored_member(name, data))
    member[offset:offset + len(value)] = value
    member[1] = sum(member[2:2 + member[0]]) & 0xFF
    return bytes(member)


def bad_checksum(name, data):
    member = bytearray(stored_member(name, data))
    member[1] ^= 1
    return bytes(member)


def listing(*lines):
    return ''.join(line + '\n' for line in lines)


def outcome(directory, extraction, refusals='', files='', shortcuts='', incomplete=True, deleting=None):
    """The whole console of a run that answers the directory, no name, no
    guide and Return; with `deleting`, over an earlier installation that is
    replaced, the deletions saying `deleting`."""
    directories = directory_part(directory, refusals)
    if deleting is not None:
        directories += update_part(directory) + ASK_REPLACE + DELETING + deleting
    return (BANNER + directories + EXTRACTING_ALL + extraction +
            SETTINGS + NO_NAME + (files or FILES_WRITTEN) + shortcuts + SHORTCUTS_DONE +
            ASK_GUIDE + (CLOSING_INCOMPLETE if incomplete else CLOSING))


def not_deleted(*tails):
    return ''.join('Could not delete all of c:\\inst\\%s\n' % tail for tail in tails)


ARCHIVE = game_archive()
# What Wine's menu builder writes for the shortcuts in a booted prefix, and
# the shortcut it starts.
LINK_STEM = LINK_NAME[:-len('.lnk')]
PROGRAMS_ENTRY = 'home/.local/share/applications/wine/Programs/%s.desktop' % LINK_STEM
MENU_FILE = 'home/.config/menus/applications-merged/wine-Programs-%s.menu' % LINK_STEM
DESKTOP_ENTRY = 'prefix/drive_c/users/%s/Desktop/%s.desktop' % (USER_NAME, LINK_STEM)
DESKTOP_LINK = 'prefix/drive_c/users/%s/Desktop/%s' % (USER_NAME, LINK_NAME)
PROGRAMS_LINK = 'C:\\users\\%s\\%s\\%s' % (USER_NAME, '\\'.join(USER_FOLDERS[0]), LINK_NAME)
ALL_LISTED = listing(*('\t' + n for n in GAME_FILES)) + '[ EOF ]\n'
FIFO = 'a FIFO'                  # expected on disk: a FIFO, still there
WHOLE_OR_ABSENT = 'whole or absent'   # (WHOLE_OR_ABSENT, bytes): those bytes, or nothing
REGULAR = 'a regular file'       # expected on disk: a regular file, whatever it holds
INST = 'c:\\inst\\'
INST_ANSWERS = 'c:\\inst\n\nn\n\n'
REPLACE_ANSWERS = 'c:\\inst\nn\ny\n\nn\n\n'
DECOY = b'decoy'                 # what a 'file:' setup item holds
# What the built-in interpreter says on standard error of the two levels
# that exist before a run into c:\inst, c: and c:\inst.
EXIST_IN_INST = ALREADY_EXISTS * 2
# Names whose code page 932 form walks out of c:\inst: U+00A5 is 0x5C.
YEN_NAMES = ['file:inst/bone¥..¥..¥victim/x', 'file:inst/bone¥..¥..¥victim.txt', 'file:inst/x\\..\\..\\victim3.sav']
DECOYS_ON_C = ['file:victim/x', 'file:victim.txt', 'file:victim3.sav']

# label, answers, setup, archive, console, exit code, files on disk: a path
# below the temporary root and its bytes, None for absent, FIFO or REGULAR
# ('prefix/' is the Wine prefix, 'home/' the home folder); 'launch:PATH',
# the arguments that the desktop entry at PATH hands Wine when a launcher
# starts it. `wine`: whether the Windows program runs the row under Wine
# too (tests/wine/): SAME, with the same outcome, or a dict of what
# differs; None, not there. `errors`: standard error, where the built-in
# interpreter complains. `env`: more of the run's environment, '{root}'
# standing for the temporary root ('WINEPREFIX' moves the prefix there);
# `cwd`: the name of the distribution folder, below the root. A console
# of RACE is not compared: the row runs RACE_ROUNDS times against a
# process that swaps a link to outside/victim in at the path its 'race:'
# item names.
SAME = 'same'
RACE = 'whatever the race made of it'
RACE_ROUNDS = 6
Row = collections.namedtuple('Row', 'label answers setup archive console code files wine errors env cwd',
                             defaults=(None, '', None, None))


# Every member, in c:\inst; and the environment of a run that preloads
# tests/support/system_faults.cpp refusing `what`.
INSTALLED = {'prefix/drive_c/inst/' + name: data for name, data in GAME_FILES.items()}


def refusing(what):
    return {'LD_PRELOAD': '{fault_library}', 'REFUSE_UNNAMED': what, 'REFUSE_UNNAMED_RECORD': '{root}/refused',
            'ASAN_OPTIONS': 'verify_asan_link_order=0'}


def amid_write(signal_number):
    """The environment of a run that tests/support/system_faults.cpp ends
    by `signal_number` in the middle of its first write to a file."""
    return {'LD_PRELOAD': '{fault_library}', 'SIGNAL_AMID_WRITE': str(int(signal_number)),
            'ASAN_OPTIONS': 'verify_asan_link_order=0:handle_segv=0'}


# Many members, so that an interrupt falls in the middle of writing them,
# and what each may be on disk afterwards.
MANY_MEMBERS = {'m%04d.bin' % i: bytes([i % 251]) * 1024 for i in range(2000)}
MANY_ARCHIVE = b''.join(stored_member(n, d) for n, d in MANY_MEMBERS.items()) + b'\0'
MANY_WHOLE_OR_ABSENT = {'prefix/drive_c/inst/' + n: (WHOLE_OR_ABSENT, d) for n, d in MANY_MEMBERS.items()}
# Rounds of a row whose interrupt comes at a moment of chance, each
# checked on its own.
INTERRUPT_ROUNDS = 6

UPDATE_ANSWERS = 'c:\\inst\ny\n\nn\n\n'
UPDATE_BEGUN = BANNER + directory_part(INST) + update_part(INST) + EXTRACTING_EXE + '\tyamawyrm.exe\n'


def bad_input_rows():
    data = GAME_FILES['license.txt']
    return [
        Row('directory answer ends in a lead byte', b'inst\x81\ninst\n\nn\n\n', ['dist/inst/'], ARCHIVE,
            outcome('inst\\', ALL_LISTED, BAD_CHARACTER + PROMPT, incomplete=False), 0,
            {'dist/inst/yamawyrm.exe': GAME_FILES['yamawyrm.exe'], 'dist/inst\x81': None}),
        Row('% and ! in the directory answer', 'c:\\%windir%\nc:\\a!b\n' + INST_ANSWERS, [], ARCHIVE,
            outcome(INST, ALL_LISTED, (BAD_CHARACTER + PROMPT) * 2, incomplete=False), 0,
            {'prefix/drive_c/inst/license.txt': data}),
        Row('blank or dot at the end of a folder name', 'c:\\inst \nc:\\inst.\\x\nc:\\inst..\n' +
            INST_ANSWERS, [], ARCHIVE, outcome(INST, ALL_LISTED, (BAD_END + PROMPT) * 3, incomplete=False), 0,
            {'prefix/drive_c/inst/license.txt': data}),
        Row('FIFO at the probed executable', INST_ANSWERS, ['fifo:inst/yamawyrm.exe'], ARCHIVE,
            outcome(INST, 'Error: File cannot create. (yamawyrm.exe)\n' + ALL_LISTED.split('\n', 1)[1]),
            1, {'prefix/drive_c/inst/yamawyrm.exe': FIFO, 'prefix/drive_c/inst/license.txt': data}),
        Row('FIFO named like a member', INST_ANSWERS, ['fifo:inst/jguide.txt'], ARCHIVE,
            outcome(INST, ALL_LISTED.replace('\tjguide.txt', 'Error: File cannot create. (jguide.txt)')),
            1, {'prefix/drive_c/inst/jguide.txt': FIFO, 'prefix/drive_c/inst/license.txt': data}),
        Row('FIFO at a shortcut', INST_ANSWERS, ['fifo:windows/ﾃﾞｽｸﾄｯﾌﾟ/' + LINK_NAME], ARCHIVE,
            outcome(INST, ALL_LISTED, shortcuts=SAVE_FAILED, incomplete=False), 0,
            {'prefix/drive_c/windows/ﾃﾞｽｸﾄｯﾌﾟ/' + LINK_NAME: FIFO}),
        Row('links inside the install directory', INST_ANSWERS,
            ['link:inst/ok.txt>victim', 'link:inst/sub>dir', 'link:inst/dangling.txt>newfile',
             'link:inst/wyrmhold.cnf>victim'],
            b''.join(stored_member(n, data) for n in ('ok.txt', 'sub\\x.txt', 'dangling.txt')) + b'\0',
            outcome(INST, listing('\tok.txt', 'Error: File cannot create. (sub\\x.txt)', '\tdangling.txt',
                                  '[ EOF ]')), 1,
            {'outside/victim': b'victim', 'outside/dir/x.txt': None, 'outside/newfile': None,
             'prefix/drive_c/inst/ok.txt': data, 'prefix/drive_c/inst/dangling.txt': data,
             'prefix/drive_c/inst/wyrmhold.cnf': REGULAR}),
        Row('install directory that is a link', INST_ANSWERS, ['link:inst>dir'], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0, {'outside/dir/license.txt': data}),
        # Systems whose new files cannot be unnamed, or linked by their
        # descriptor, or linked at all: each writes as the others do, finds
        # that out once, and leaves nothing beside.
        Row('a file system without unnamed files', INST_ANSWERS, [], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, refused=b'openat O_TMPFILE\n'), None, '', refusing('files')),
        Row('a kernel that links no descriptor', INST_ANSWERS, [], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, refused=b'linkat AT_EMPTY_PATH\n'), None, '', refusing('descriptor')),
        Row('a kernel that links no descriptor, without /proc', INST_ANSWERS, [], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, refused=b'linkat AT_EMPTY_PATH\nlinkat /proc\n'), None, '', refusing('links')),
        Row('full disk', INST_ANSWERS, ['limit'], ARCHIVE,
            outcome(INST, ''.join('\t%s\nError: File cannot write. (%s)\n' % (n, n) for n in GAME_FILES) +
                    '[ EOF ]\n',
                    files=FILES_WRITTEN.replace('...\n作成完了', '...\n%s作成完了').replace('%s', '{}', 2).format(
                        CANNOT_WRITE % (INST + 'wyrmhold.cnf'), CANNOT_WRITE % (INST + 'yamawyrm.bat')),
                    shortcuts=SAVE_FAILED * 2), 1,
            {'prefix/drive_c/inst/yamawyrm.exe': None}),
        Row('member named with a separator at its end', INST_ANSWERS, [],
            stored_member('dir\\', data) + ARCHIVE,
            outcome(INST, 'Error: File cannot create. (dir\\)\n' + ALL_LISTED), 1,
            {'prefix/drive_c/inst/dir': None}),
        Row('member named like a device', INST_ANSWERS, [], stored_member('nul.txt', data) + ARCHIVE,
            outcome(INST, 'Error: File cannot create. (nul.txt)\n' + ALL_LISTED), 1,
            {'prefix/drive_c/inst/nul.txt': None}),
        Row('comment after a NUL in the name field', INST_ANSWERS, [],
            stored_member(b'metadata.txt\0This is a comment on the file.', data) + b'\0',
            outcome(INST, listing('\tmetadata.txt', '[ EOF ]'), incomplete=False), 0,
            {'prefix/drive_c/inst/metadata.txt': data}),
        # Names that differ only in letter case meet the same file, one
        # that was there before or one the extraction wrote itself.
        Row('members whose names differ only in case', INST_ANSWERS, ['file:inst/LICENSE.TXT'],
            stored_member('Readme.txt', b'first') + stored_member('README.TXT', b'second') + ARCHIVE,
            outcome(INST, listing('\tReadme.txt', '\tREADME.TXT') + ALL_LISTED, incomplete=False), 0,
            {'prefix/drive_c/inst/Readme.txt': b'second', 'prefix/drive_c/inst/README.TXT': None,
             'prefix/drive_c/inst/LICENSE.TXT': data, 'prefix/drive_c/inst/license.txt': None}, SAME),
        # The archive reader's failures.
        Row('archive cannot be opened', INST_ANSWERS, [], None,
            BANNER + directory_part(INST) + EXTRACTING_ALL + 'Error: File cannot open. (ymw.lz_)\n', 1,
            {'prefix/drive_c/inst/license.txt': None}),
        Row('empty archive', INST_ANSWERS, [], b'',
            outcome(INST, 'Error: Header sum error\n'), 1, {}),
        Row('no end marker', INST_ANSWERS, [], ARCHIVE[:-1],
            outcome(INST, ALL_LISTED.replace('[ EOF ]', 'Error: Header sum error')), 1,
            {'prefix/drive_c/inst/license.txt': data}),
        Row('header checksum differs', INST_ANSWERS, [],
            stored_member('a.txt', data) + bad_checksum('b.txt', data) + b'\0',
            outcome(INST, listing('\ta.txt', 'Error: Header sum error')), 1,
            {'prefix/drive_c/inst/a.txt': data, 'prefix/drive_c/inst/b.txt': None}),
        Row('header too short for its name', INST_ANSWERS, [], patched('a.txt', data, 21, b'\x08') + b'\0',
            outcome(INST, 'Error: Header damaged\n'), 1, {'prefix/drive_c/inst/a.txt': None}),
        Row('output file cannot be created', INST_ANSWERS, ['inst/license.txt/'], ARCHIVE,
            outcome(INST, ALL_LISTED.replace('\tlicense.txt', 'Error: File cannot create. (license.txt)')),
            1, {'prefix/drive_c/inst/jguide.txt': GAME_FILES['jguide.txt']}),
        Row('name that leaves the install directory', INST_ANSWERS, [],
            stored_member('..\\evil.txt', data) + ARCHIVE,
            outcome(INST, 'Error: File cannot create. (..\\evil.txt)\n' + ALL_LISTED), 1,
            {'prefix/drive_c/evil.txt': None}),
        Row('unknown method', INST_ANSWERS, [], patched('odd.bin', data, 2, b'-lh5-') + ARCHIVE,
            outcome(INST, listing('\todd.bin', 'Error: unknown method', 'Error: CRC mismatch.') +
                    ALL_LISTED), 1, {'prefix/drive_c/inst/odd.bin': b''}),
        Row('CRC mismatch', INST_ANSWERS, [], stored_member('a.txt', data)[:-1] + b'X' + ARCHIVE,
            outcome(INST, listing('\ta.txt', 'Error: CRC mismatch.') + ALL_LISTED), 1,
            {'prefix/drive_c/inst/a.txt': data[:-1] + b'X'}),
        # The replacement's deletions, attacked, with decoys outside.
        Row('names that walk out in code page 932', REPLACE_ANSWERS,
            ['builtin', 'file:inst/yamawyrm.exe'] + YEN_NAMES + DECOYS_ON_C, ARCHIVE,
            outcome(INST, ALL_LISTED, deleting=not_deleted('*.sav')), 1,
            {'prefix/drive_c/victim/x': DECOY, 'prefix/drive_c/victim.txt': DECOY,
             'prefix/drive_c/victim3.sav': DECOY, 'prefix/drive_c/inst/bone¥..¥..¥victim.txt': DECOY,
             'prefix/drive_c/inst/x\\..\\..\\victim3.sav': DECOY}, SAME, EXIST_IN_INST),
        Row('invalid double-byte pairs and unconvertible bytes in the directory answer',
            b'c:\\\x81\t\\\nc:\\a\x81"b\nc:\\a\x81 b\\c\nc:\\\x85\x40\n' + INST_ANSWERS.encode(),
            ['file:bone-decoy.txt', 'file:decoy.sav', 'file:record'], ARCHIVE,
            outcome(INST, ALL_LISTED, (BAD_CHARACTER + PROMPT) * 4, incomplete=False), 0,
            {'prefix/drive_c/bone-decoy.txt': DECOY, 'prefix/drive_c/decoy.sav': DECOY,
             'prefix/drive_c/record': DECOY, 'prefix/drive_c/a': None}, SAME),
        # 花子 typed in a UTF-8 terminal under the C locale, whose bytes pass
        # unchanged: they end in a lead byte that would take the comma after
        # the name in wyrmhold.cnf.
        Row('name answer that is not valid Shift_JIS', 'c:\\inst\n'.encode() + '花子'.encode() + b'\n\nn\n\n',
            [], ARCHIVE, outcome(INST, ALL_LISTED, incomplete=False).replace(SETTINGS, SETTINGS + UNCONVERTIBLE + PROMPT),
            0, {'prefix/drive_c/inst/license.txt': data}, SAME),
        Row('links at the paths that the installer deletes and writes', REPLACE_ANSWERS,
            ['builtin', 'file:inst/yamawyrm.exe', 'link:inst/logfile>victim', 'link:inst/record>dir',
             'file:outside/dir/x', 'file:outside/bat', 'link:inst/yamawyrm.bat>bat', 'file:outside/cnf',
             'link:inst/wyrmhold.cnf>cnf', 'file:outside/lic', 'link:inst/license.txt>lic', 'file:outside/lnk',
             'link:windows/ﾃﾞｽｸﾄｯﾌﾟ/%s>lnk' % LINK_NAME], ARCHIVE,
            outcome(INST, ALL_LISTED, deleting='', incomplete=False), 0,
            {'outside/victim': b'victim', 'outside/dir/x': DECOY, 'outside/bat': DECOY, 'outside/cnf': DECOY,
             'outside/lic': DECOY, 'outside/lnk': DECOY, 'prefix/drive_c/inst/logfile': None,
             'prefix/drive_c/inst/yamawyrm.bat': REGULAR, 'prefix/drive_c/inst/license.txt': data},
            # Wine follows a Unix link whatever the program asks: the
            # Windows program leaves each one and says so, and saves the
            # desktop shortcut in the user's desktop folder instead.
            {'console': outcome(INST, ALL_LISTED.replace('\tlicense.txt', 'Error: File cannot create. (license.txt)'),
                                deleting=not_deleted('logfile', 'record'),
                                files=FILES_WRITTEN.replace('...\n作成完了', '...\n%s作成完了').replace(
                                    '%s', '{}', 2).format(CANNOT_CREATE % (INST + 'wyrmhold.cnf'),
                                                          CANNOT_CREATE % (INST + 'yamawyrm.bat'))),
             'code': 1,
             'files': {'outside/victim': b'victim', 'outside/dir/x': DECOY, 'outside/bat': DECOY,
                       'outside/cnf': DECOY, 'outside/lic': DECOY, 'outside/lnk': DECOY}}, EXIST_IN_INST),
        Row('folder of another mount inside the install directory', REPLACE_ANSWERS,
            ['builtin', 'file:inst/yamawyrm.exe', 'file:outside/mounted/inside', 'mount:inst/bones>mounted'],
            stored_member('bones\\x.txt', data) + ARCHIVE,
            outcome(INST, 'Error: File cannot create. (bones\\x.txt)\n' + ALL_LISTED,
                    deleting=not_deleted('bone*.*')), 1,
            {'outside/mounted/inside': DECOY, 'outside/mounted/x.txt': None}, SAME, EXIST_IN_INST),
        Row('Windows 98 whose interpreter is cmd.exe', REPLACE_ANSWERS,
            ['win98', 'file:inst/yamawyrm.exe', 'file:inst/one.sav', 'file:inst/bone¥..¥..¥victim/x',
             'file:victim/x', 'link:inst/logfile>victim'], ARCHIVE, None, None, {},
            # The ANSI calls give U+00A5 as 0x5C: the name cannot be named.
            # Wine reporting Windows 98 still shows a link as the file it
            # leads to, and it is left.
            {'console': outcome(INST, ALL_LISTED, deleting=not_deleted('logfile', 'bone*.*')), 'code': 1,
             'files': {'prefix/drive_c/inst/one.sav': None, 'prefix/drive_c/victim/x': DECOY,
                       'outside/victim': b'victim'}}),
        # Every file is written beside its path and moved over it: what
        # stands there is replaced as an entry, never written through.
        Row('hard links at the paths that the installer writes', INST_ANSWERS,
            ['file:outside/lic', 'hard:inst/license.txt>lic', 'file:outside/cnf', 'hard:inst/wyrmhold.cnf>cnf',
             'file:outside/bat', 'hard:inst/yamawyrm.bat>bat', 'file:outside/lnk',
             'hard:%s/%s>lnk' % ('/'.join(START_MENU_FOLDER), LINK_NAME)], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            {'outside/lic': DECOY, 'outside/cnf': DECOY, 'outside/bat': DECOY, 'outside/lnk': DECOY,
             'prefix/drive_c/inst/license.txt': data, 'prefix/drive_c/inst/yamawyrm.bat': REGULAR,
             'prefix/drive_c/%s/%s' % ('/'.join(START_MENU_FOLDER), LINK_NAME): REGULAR}, SAME),
        Row('a hard link at the executable that the update writes', 'c:\\inst\ny\n\nn\n\n',
            ['file:outside/exe', 'hard:inst/yamawyrm.exe>exe'], ARCHIVE,
            BANNER + directory_part(INST) + update_part(INST) + EXTRACTING_EXE + LISTING_UPDATE + ending(NO_NAME), 0,
            {'outside/exe': DECOY, 'prefix/drive_c/inst/yamawyrm.exe': GAME_FILES['yamawyrm.exe']}, SAME),
        Row('FIFOs at the text files', INST_ANSWERS, ['fifo:inst/wyrmhold.cnf', 'fifo:inst/yamawyrm.bat'], ARCHIVE,
            outcome(INST, ALL_LISTED, files=FILES_WRITTEN.replace('...\n作成完了', '...\n%s作成完了').replace(
                '%s', '{}', 2).format(CANNOT_CREATE % (INST + 'wyrmhold.cnf'), CANNOT_CREATE % (INST + 'yamawyrm.bat'))),
            1, {'prefix/drive_c/inst/wyrmhold.cnf': FIFO, 'prefix/drive_c/inst/yamawyrm.bat': FIFO}, SAME),
        Row('menu files behind links and a FIFO', INST_ANSWERS,
            ['booted', 'file:outside/entry', 'hard:%s>entry' % PROGRAMS_ENTRY, 'file:outside/menu',
             'link:%s>menu' % MENU_FILE, 'fifo:users/%s/Desktop/%s.desktop' % (USER_NAME, LINK_STEM)], ARCHIVE,
            outcome(INST, ALL_LISTED, shortcuts=SAVE_FAILED, incomplete=False), 0,
            {'launch:' + PROGRAMS_ENTRY: [PROGRAMS_LINK], MENU_FILE: REGULAR, DESKTOP_ENTRY: FIFO,
             DESKTOP_LINK: REGULAR, 'outside/entry': DECOY, 'outside/menu': DECOY}),
        Row('a prefix path that would run a command of its own from the menu', INST_ANSWERS, ['booted'], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            {'launch:' + PROGRAMS_ENTRY: [PROGRAMS_LINK], 'launch:' + DESKTOP_ENTRY: [INST + 'yamawyrm.bat'],
             'outside/PWNED': None},
            env={'WINEPREFIX': '{root}/x" sh -c "touch {root}/outside/PWNED" "/pfx'}),
        Row('a field code in the prefix and in the distribution folder', 'inst\n\nn\n\n', ['booted', 'builtin'],
            ARCHIVE, outcome('inst\\', ALL_LISTED, incomplete=False), 0,
            {'launch:' + PROGRAMS_ENTRY: [PROGRAMS_LINK],
             'launch:' + DESKTOP_ENTRY: ['{zroot}\\Yamawyrm 100%u\\inst\\yamawyrm.bat']},
            env={'WINEPREFIX': '{root}/pfx 100%u'}, cwd='Yamawyrm 100%u'),
        Row('a line feed in the prefix path', INST_ANSWERS, ['booted'], ARCHIVE,
            outcome(INST, ALL_LISTED, shortcuts=SAVE_FAILED * 2, incomplete=False), 0,
            {PROGRAMS_ENTRY: None, MENU_FILE: None, DESKTOP_ENTRY: None, DESKTOP_LINK: REGULAR},
            env={'WINEPREFIX': '{root}/line\nfeed'}),
        # Bytes that are not UTF-8, which no launcher takes in a menu entry.
        Row('a prefix path that is not UTF-8', INST_ANSWERS, ['booted'], ARCHIVE,
            outcome(INST, ALL_LISTED, shortcuts=SAVE_FAILED * 2, incomplete=False), 0,
            {PROGRAMS_ENTRY: None, MENU_FILE: None, DESKTOP_ENTRY: None, DESKTOP_LINK: REGULAR},
            env={'WINEPREFIX': '{root}/p\udcff\udcfex'}),
        Row('relative XDG folders', INST_ANSWERS, ['booted'], ARCHIVE, outcome(INST, ALL_LISTED, incomplete=False), 0,
            {'launch:' + PROGRAMS_ENTRY: [PROGRAMS_LINK], MENU_FILE: REGULAR, 'dist/rel': None},
            env={'XDG_DATA_HOME': 'rel/data', 'XDG_CONFIG_HOME': 'rel/config'}),
        # An interrupt leaves the installation incomplete, and says so.
        Row('interrupted at the name question', 'c:\\inst\n', ['interrupt'], ARCHIVE,
            BANNER + directory_part(INST) + EXTRACTING_ALL + ALL_LISTED + SETTINGS + '\n' + INCOMPLETE,
            -signal.SIGINT,
            {'prefix/drive_c/inst/license.txt': data, 'prefix/drive_c/inst/wyrmhold.cnf': None,
             'prefix/drive_c/inst/yamawyrm.bat': None},
            # A console control event, which ends the Windows program.
            {'code': 1}),
        # Endings that nothing catches, and one that is caught, while the
        # update writes the executable: its new file has no name yet, and
        # the old one stays whole.
        Row('SIGKILL amid the update', UPDATE_ANSWERS, ['builtin', 'file:inst/yamawyrm.exe'], ARCHIVE,
            UPDATE_BEGUN, -signal.SIGKILL, {'prefix/drive_c/inst/yamawyrm.exe': DECOY}, None, EXIST_IN_INST,
            amid_write(signal.SIGKILL)),
        Row('a crash amid the update', UPDATE_ANSWERS, ['builtin', 'file:inst/yamawyrm.exe'], ARCHIVE,
            UPDATE_BEGUN, -signal.SIGSEGV, {'prefix/drive_c/inst/yamawyrm.exe': DECOY}, None, EXIST_IN_INST,
            amid_write(signal.SIGSEGV)),
        Row('SIGQUIT amid the update', UPDATE_ANSWERS, ['builtin', 'file:inst/yamawyrm.exe'], ARCHIVE,
            UPDATE_BEGUN + '\n' + INCOMPLETE, -signal.SIGQUIT, {'prefix/drive_c/inst/yamawyrm.exe': DECOY}, None,
            EXIST_IN_INST, amid_write(signal.SIGQUIT)),
        # What killed runs left in the folders written goes, but for the
        # file that a running run holds; on a system without unnamed files,
        # where every new file takes one of those names, too.
        Row('leftovers of killed runs in the install folder', INST_ANSWERS, ['leftovers:inst'], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0, INSTALLED, SAME),
        Row('leftovers of killed runs in a folder of the game', INST_ANSWERS, ['leftovers:inst/sub'],
            stored_member('sub\\x.txt', data) + ARCHIVE,
            outcome(INST, '\tsub\\x.txt\n' + ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, **{'prefix/drive_c/inst/sub/x.txt': data}), SAME),
        Row('leftovers of killed runs in the folders written, one held by a running run', INST_ANSWERS,
            ['leftovers:inst', 'leftovers:windows/ﾃﾞｽｸﾄｯﾌﾟ', 'held:inst/~ymw5.tmp'], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, **{'prefix/drive_c/inst/~ymw5.tmp': DECOY})),
        Row('leftovers of killed runs, without unnamed files', INST_ANSWERS,
            ['leftovers:inst', 'leftovers:windows/ﾃﾞｽｸﾄｯﾌﾟ', 'held:inst/~ymw0.tmp'], ARCHIVE,
            outcome(INST, ALL_LISTED, incomplete=False), 0,
            dict(INSTALLED, refused=b'openat O_TMPFILE\n', **{'prefix/drive_c/inst/~ymw0.tmp': DECOY}), None, '',
            refusing('files')),
        # An interrupt at any moment of the extraction leaves each member
        # whole or absent and no new file beside it; the rounds after the
        # first replace what the ones before wrote.
        Row('interrupted during the extraction', INST_ANSWERS, ['interrupt:extraction'], MANY_ARCHIVE, RACE,
            -signal.SIGINT, MANY_WHOLE_OR_ABSENT, {'code': 1}),
        Row('a link swapped in while the old files are deleted', REPLACE_ANSWERS,
            ['builtin', 'file:inst/yamawyrm.exe', 'race:inst/logfile'], ARCHIVE, RACE, (0, 1),
            {'outside/victim': b'victim'}, SAME, EXIST_IN_INST),
    ]


class BadInputs(InstallerCase):
    """Every bad input found so far: a clear message, and nothing lost."""

    def test_bad_inputs(self):
        for row in bad_input_rows():
            if row.console is None:
                continue
            with self.subTest(row.label):
                self.setUp()
                env = self.row_environment(row)
                self.prepare(row.setup)
                if row.archive is None:
                    os.unlink(os.path.join(self.cwd, 'ymw.lz_'))
                else:
                    self.put_archive(row.archive)
                try:
                    for _ in range(self.rounds(row)):
                        with self.racing(row):
                            run = self.run_posix_row(row, env)
                        self.checkRound(row, run, row.code, row.files)
                finally:
                    self.release_mounts()
                # Elsewhere standard error is the recording interpreter's.
                self.assertRowOutcome(row, run, row.console, row.code, row.files,
                                      row.errors if 'builtin' in row.setup else None)

    def row_environment(self, row):
        """The environment a row asks for, with the prefix and the
        distribution folder moved where it names them."""
        library = os.environ.get('SYSTEM_FAULTS_LIBRARY', '')
        if any('{fault_library}' in value for value in (row.env or {}).values()):
            self.assertTrue(os.path.exists(library), 'SYSTEM_FAULTS_LIBRARY names no library: %r' % library)
        env = {name: value.format(root=self.root, fault_library=library) for name, value in (row.env or {}).items()}
        if 'WINEPREFIX' in env:
            os.makedirs(os.path.dirname(env['WINEPREFIX']), exist_ok=True)
            os.rename(self.prefix, env['WINEPREFIX'])
            self.prefix = env['WINEPREFIX']
        if row.cwd is not None:
            os.rename(self.cwd, os.path.join(self.root, row.cwd))
            self.cwd = os.path.join(self.root, row.cwd)
        if 'booted' in row.setup:
            env['USER'] = USER_NAME
        return env

    def run_posix_row(self, row, env):
        if 'interrupt' in row.setup:
            return self.run_interrupted(row.answers, env, SETTINGS)
        if 'interrupt:extraction' in row.setup:
            return self.run_interrupted(row.answers, env, EXTRACTING_ALL, random.uniform(0, 0.02))
        return self.run_setup(row.answers, recorder='builtin' not in row.setup, extra_env=env,
                              size_limit=0 if 'limit' in row.setup else None)

    def run_interrupted(self, answers, extra_env, marker, delay=0):
        """Runs the installer on `answers`, and sends it SIGINT `delay`
        seconds after it has shown `marker`."""
        child = subprocess.Popen([BINARY], stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=self.cwd,
                                 env=self.setup_env(extra_env=extra_env))
        child.stdin.write(answers.encode('cp932'))
        child.stdin.flush()
        seen = b''
        marker = marker.encode('cp932')
        deadline = time.time() + 60
        while marker not in seen and time.time() < deadline:
            ready, _, _ = select.select([child.stdout], [], [], 0.5)
            piece = os.read(child.stdout.fileno(), 4096) if ready else b''
            if ready and not piece:
                break
            seen += piece
        time.sleep(delay)
        child.send_signal(signal.SIGINT)
        rest, _ = child.communicate(timeout=60)
        return Run(seen + rest, child.returncode, [])

    def test_truncation_at_every_byte(self):
        data = b'contents'
        archive = stored_member('a.txt', data) + b'\0'
        header = len(archive) - len(data) - 1
        os.makedirs(self.host('games'))
        for size in range(len(archive)):
            with self.subTest(size=size):
                self.put_archive(archive[:size])
                run = self.run_setup(INST_ANSWERS.replace('c:\\inst', 'c:\\games'))
                if size < header:
                    extraction = 'Error: Header sum error\n'
                elif size < header + len(data):
                    extraction = listing('\ta.txt', 'Error: CRC mismatch.', 'Error: Header sum error')
                else:
                    extraction = listing('\ta.txt', 'Error: Header sum error')
                self.assertConsole(run, outcome('c:\\games\\', extraction))
                self.assertEqual(run.code, 1)
                if size > header:
                    with open(self.host('games', 'a.txt'), 'rb') as f:
                        got = data[:size - header]
                        self.assertEqual(f.read(), got + b'\xff' * (len(data) - len(got)))

    def test_end_of_input_at_every_question(self):
        """Each question in turn meets the end of the input: a fresh install
        and one over an earlier installation."""
        fresh = ['c:\\inst', 'Hero', 'y', '']
        over = ['c:\\inst', 'n', 'y', 'Hero', 'n', '']
        for answers, earlier in ((fresh, False), (over, True)):
            for given in range(len(answers)):
                with self.subTest(answers=answers[:given]):
                    self.setUp()
                    self.default_dir()
                    os.makedirs(self.host('inst'))
                    if earlier:
                        for folder in (self.host('inst'), self.host('games', 'yamawyrm')):
                            with open(os.path.join(folder, 'yamawyrm.exe'), 'wb') as f:
                                f.write(b'old')
                    run = self.run_setup(''.join(a + '\n' for a in answers[:given]))
                    self.assertConsole(run, self.ended_console(answers[:given], earlier))
                    self.assertEqual(run.code, 1 if earlier and given < 3 else 0)

    @staticmethod
    def ended_console(given, earlier):
        directory = 'c:\\inst\\' if given else 'c:\\games\\yamawyrm\\'
        text = BANNER + directory_part(directory)
        rest = given[1:]
        if earlier:
            text += update_part(directory)
            if not rest:
                return text + ASK_REPLACE + NOT_INSTALLED
            text += ASK_REPLACE
            if len(rest) == 1:
                return text + NOT_INSTALLED
            text += DELETING
            rest = rest[2:]
        text += EXTRACTING_ALL + LISTING_ALL + SETTINGS
        text += (NO_NAME if not rest else '') + FILES_WRITTEN + SHORTCUTS_DONE + ASK_GUIDE
        return text + CLOSING

    def test_reader_that_goes_away_does_not_stop_the_run(self):
        self.default_dir()
        env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': self.root,
               'WINEPREFIX': self.prefix, 'LC_ALL': 'C', 'COMSPEC': self.recorder,
               'RECORD_LOG': self.log}
        child = subprocess.Popen([BINARY], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 cwd=self.cwd, env=env)
        child.stdout.read(10)
        child.stdout.close()
        child.stdin.write(b'\n\nn\n\n')
        child.stdin.close()
        self.assertEqual(child.wait(timeout=60), 0)
        self.assertInstalled(self.host('games', 'yamawyrm'))
        self.assertTrue(os.path.exists(self.host('games', 'yamawyrm', 'yamawyrm.bat')))


if __name__ == '__main__':
    BINARY = os.path.abspath(sys.argv[1])
    DATA_DIR = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)

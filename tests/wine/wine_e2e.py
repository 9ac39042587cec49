#!/usr/bin/env python3
"""The Windows program under Wine, end to end.

Runs the Windows build of the installer under Wine in one booted prefix,
headless, and holds it to what the POSIX end-to-end tests hold the POSIX
build to: the same transcripts (CR LF read as LF), exit codes and files.
Wine's own cmd.exe, console and shell link object take the parts that the
POSIX host layer plays on Linux, so where the two builds meet (the
shortcut files, the installed tree, a bad input) they are compared with
each other.

    wine_e2e.py boot           makes the shared prefix afresh (a CTest fixture)
    wine_e2e.py stop           ends its wineserver
    wine_e2e.py CLASS...       runs those test classes

Configuration comes from the environment, set by tests/wine/tests.cmake:
YMW_WINE (the loader), YMW_WINDOWS_BUILD (the Windows build folder holding
yamawyrm-setup.exe and tests/wine/*.exe), YMW_PRODUCT_EXE (the shipped
32-bit program, ymw-pack.exe beside it), YMW_POSIX_BINARY, YMW_PREFIX,
YMW_DATA_DIR and YMW_VERSION (the project's version number).
"""
import os
import pty
import random
import re
import select
import shlex
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import tty
import unittest
from xml.etree import ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
import installer_e2e as e2e  # noqa: E402

WINE = os.environ.get('YMW_WINE', '/usr/lib/wine/wine64')
WINDOWS_BUILD = os.environ.get('YMW_WINDOWS_BUILD', '')
PRODUCT_EXE = os.environ.get('YMW_PRODUCT_EXE', '')
POSIX_BINARY = os.environ.get('YMW_POSIX_BINARY', '')
PREFIX = os.environ.get('YMW_PREFIX', '')
DATA_DIR = os.environ.get('YMW_DATA_DIR', '')
VERSION = os.environ.get('YMW_VERSION', '')

SETUP_EXE = os.path.join(WINDOWS_BUILD, 'yamawyrm-setup.exe')
RECORDER_EXE = os.path.join(WINDOWS_BUILD, 'tests', 'wine', 'recording_interpreter.exe')
LOAD_LINK_EXE = os.path.join(WINDOWS_BUILD, 'tests', 'wine', 'load_link.exe')
GAME_EXE = os.path.join(WINDOWS_BUILD, 'tests', 'wine', 'stand_in_game.exe')
CONSOLE_WINDOW_EXE = os.path.join(WINDOWS_BUILD, 'tests', 'wine', 'console_window.exe')

DEFAULT = 'c:\\games\\yamawyrm\\'
LINK_FOLDERS = (e2e.START_MENU_FOLDER, e2e.DESKTOP_FOLDER)


# The home folder of every Wine run: Wine links the prefix's desktop to it
# and its menu builder writes below it.
HOME_DIR = PREFIX + '-home'
# The display of the Xvfb that boot() starts for the session, and its
# process id, one to a line; absent without Xvfb.
DISPLAY_FILE = PREFIX + '-display'
# The locales that boot() makes with localedef, beside the prefix, where
# the system has not generated them: Wine takes its code pages from the
# locale, and one the system lacks counts as C. A run in one of them is
# given LOCPATH, which names the only folder its locales are looked for in.
LOCALE_DIR = PREFIX + '-locales'
MADE_LOCALES = ('zh_CN.UTF-8', 'ko_KR.UTF-8', 'ru_RU.UTF-8')


def locale_env(lang):
    """What a run in `lang` needs to find it: LOCPATH for the locales that
    boot() made."""
    return {'LOCPATH': LOCALE_DIR} if os.path.isdir(os.path.join(LOCALE_DIR, lang)) else {}


def skip_unless_locale(case, lang):
    if lang in MADE_LOCALES and not locale_env(lang):
        case.skipTest('localedef could not make %s' % lang)


def session_display():
    """The display every Wine run of the session has, or None."""
    try:
        with open(DISPLAY_FILE) as f:
            return f.read().split()[0]
    except (OSError, IndexError):
        return None


def wine_env(lang='ja_JP.UTF-8', **extra):
    env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': HOME_DIR,
           'WINEPREFIX': PREFIX, 'WINEDEBUG': '-all', 'WINEDLLOVERRIDES': 'mscoree,mshtml=',
           'LANG': lang}
    env.update(locale_env(lang))
    if session_display() is not None:
        env['DISPLAY'] = session_display()
    env.update(extra)
    return env


def z_path(host_path):
    """The Windows path by which Wine reaches a host path."""
    return 'Z:' + host_path.replace('/', '\\')


def read_link(path, encoding='cp932'):
    """Target path, working directory and show command of a shell link file,
    read from the file itself (MS-SHLLINK), the target's bytes read in
    `encoding`."""
    with open(path, 'rb') as f:
        data = f.read()
    flags = int.from_bytes(data[0x14:0x18], 'little')
    show = int.from_bytes(data[0x3C:0x40], 'little')
    at = 0x4C
    if flags & 0x01:                                     # HasLinkTargetIDList
        at += 2 + int.from_bytes(data[at:at + 2], 'little')
    target = None
    if flags & 0x02:                                     # HasLinkInfo
        info = data[at:]
        base = int.from_bytes(info[16:20], 'little')     # LocalBasePathOffset
        target = info[base:info.index(b'\x00', base)].decode(encoding)
        at += int.from_bytes(info[0:4], 'little')
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, 'name'), (0x08, 'relative'), (0x10, 'dir'), (0x20, 'args'), (0x40, 'icon')):
        if flags & bit:
            count = int.from_bytes(data[at:at + 2], 'little')
            size = count * (2 if unicode else 1)
            raw = data[at + 2:at + 2 + size]
            # Wine counts the string's terminator in its length.
            strings[name] = raw.decode('utf-16-le' if unicode else 'cp932').rstrip('\0')
            at += 2 + size
    return target, strings.get('dir'), show


def on_terminal(command, cwd, env):
    """Runs `command` with a terminal for its three standard streams until
    it ends; returns its exit code and what the terminal showed, Wine's
    console escape sequences left out."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    process = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, cwd=cwd, env=env,
                               start_new_session=True)
    os.close(slave)
    shown = bytearray()
    deadline = time.time() + 60
    try:
        while time.time() < deadline:
            ready, _, _ = select.select([master], [], [], 0.5)
            if ready:
                try:
                    piece = os.read(master, 4096)
                except OSError:
                    break
                if not piece:
                    break
                shown.extend(piece)
            elif process.poll() is not None:
                break
        code = process.wait(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
        os.close(master)
    return code, re.sub(r'\x1b\[[0-9;?]*[A-Za-z]', '', shown.decode('utf-8', 'replace'))


class WineCase(e2e.InstallerCase):
    """The POSIX end-to-end case's archive and checks, in the shared Wine
    prefix."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='ymw-wine-')
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.cwd = os.path.join(self.root, 'dist')
        os.makedirs(self.cwd)
        self.put_archive(e2e.game_archive())
        self.prefix = PREFIX
        # The prefix is shared by every Wine test: each starts from no games
        # folder and both link folders present.
        shutil.rmtree(self.host('games'), ignore_errors=True)
        for folder in LINK_FOLDERS:
            shutil.rmtree(self.host(*folder), ignore_errors=True)
            os.makedirs(self.host(*folder))

    def host(self, *parts):
        return os.path.join(PREFIX, 'drive_c', *parts)

    def link(self, folder):
        return self.host(*folder, e2e.LINK_NAME)

    def load_link(self, folder, lang='ja_JP.UTF-8'):
        """What Wine's shell link object loads from the shortcut in `folder`."""
        windows_link = 'C:\\' + '\\'.join(folder) + '\\' + e2e.LINK_NAME
        result = subprocess.run([WINE, LOAD_LINK_EXE, windows_link], env=wine_env(lang), stdout=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, timeout=60)
        self.assertEqual(result.returncode, 0)
        return dict(line.split('=', 1) for line in result.stdout.decode('utf-8').splitlines())

    def write(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)

    def run_windows(self, answers, lang='ja_JP.UTF-8', comspec=None, **extra):
        if isinstance(answers, str):
            answers = answers.encode('cp932')
        command = [WINE, SETUP_EXE]
        if comspec is not None:
            # Wine sets COMSPEC from its registry whatever the host says, so
            # the program is started from a cmd.exe that sets it first.
            command = [WINE, 'cmd', '/c', 'set', 'COMSPEC=%s&&%s' % (z_path(comspec), z_path(SETUP_EXE))]
        # Into files, not pipes: the menu builder that a saved shortcut
        # starts inherits the handles and keeps a pipe open long after the
        # program has ended.
        with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
            result = subprocess.run(command, input=answers, cwd=self.cwd, env=wine_env(lang, **extra),
                                    stdout=output, stderr=errors, timeout=120)
            output.seek(0)
            errors.seek(0)
            stdout = output.read()
            stderr = errors.read()
        return e2e.Run(stdout.replace(b'\r\n', b'\n'), result.returncode, [], stderr.replace(b'\r\n', b'\n'))

    def run_posix(self, answers, prefix, messages=None, **extra):
        """The POSIX build on the same answers, into `prefix`, in code page
        932 bytes. With a silent command interpreter, the folders must be
        there already; with `messages`, the locale for messages of a run
        under Wine, the built-in interpreter makes them and complains in
        its language, as Wine's cmd.exe does."""
        if isinstance(answers, str):
            answers = answers.encode('cp932')
        env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': self.root, 'WINEPREFIX': prefix}
        if messages is None:
            env.update(LC_ALL='C', COMSPEC=shutil.which('true'))
        else:
            env.update(LC_CTYPE='C', LC_MESSAGES=messages)
        env.update(extra)
        result = subprocess.run([POSIX_BINARY], input=answers, cwd=self.cwd, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return e2e.Run(result.stdout, result.returncode, [], result.stderr)

    def run_posix_in(self, lang, answers, **extra):
        """The POSIX build on `answers` as a player runs it under `lang`: the
        console in that locale's UTF-8, the built-in interpreter, the
        shortcuts written for the Wine of that locale, into the shared prefix
        and its home folder."""
        env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': HOME_DIR, 'WINEPREFIX': PREFIX,
               'LC_ALL': lang, 'WINEDLLOVERRIDES': 'mscoree,mshtml='}
        env.update(locale_env(lang))
        env.update(extra)
        result = subprocess.run([POSIX_BINARY], input=answers.encode('utf-8'), cwd=self.cwd, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return e2e.Run(result.stdout, result.returncode, [], result.stderr)

    def posix_prefix(self, *folders):
        return self.posix_prefix_at(os.path.join(self.root, 'posix-prefix'), *folders)

    def posix_prefix_at(self, prefix, *folders):
        for folder in LINK_FOLDERS + folders:
            os.makedirs(os.path.join(prefix, 'drive_c', *folder), exist_ok=True)
        return prefix

    def reg(self, *arguments):
        subprocess.run([WINE, 'reg'] + list(arguments) + ['/f'], env=wine_env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=True)

    # The user's folders that a booted prefix saves the shortcuts in.
    USER_FOLDERS = (('AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs'), ('Desktop',))

    def user_links(self):
        user = os.listdir(self.host('users'))
        user = [name for name in user if name != 'Public'][0]
        return [self.host('users', user, *folder, e2e.LINK_NAME) for folder in self.USER_FOLDERS]

    def entries(self):
        """The menu builder's files below the home folder: bytes and mode."""
        found = {}
        for top, _, names in os.walk(HOME_DIR):
            for name in names:
                if name.endswith(('.desktop', '.menu', '.directory')):
                    path = os.path.join(top, name)
                    with open(path, 'rb') as f:
                        found[os.path.relpath(path, HOME_DIR)] = (f.read(), stat.S_IMODE(os.stat(path).st_mode))
        return found

    def clear_user_links_and_entries(self):
        for path in [os.path.join(HOME_DIR, name) for name in self.entries()] + self.user_links():
            if os.path.lexists(path):
                os.unlink(path)


def objdump(*arguments):
    """What objdump prints, in the C locale, whose words the tests read."""
    return subprocess.run(['objdump'] + list(arguments), stdout=subprocess.PIPE, check=True, universal_newlines=True,
                          env=dict(os.environ, LC_ALL='C')).stdout


class ImportTable(unittest.TestCase):
    def test_shipped_program_is_a_32_bit_console_program_on_system_dlls(self):
        dump = objdump('-p', PRODUCT_EXE)
        dlls = sorted(line.split(':', 1)[1].strip() for line in dump.splitlines()
                      if line.strip().startswith('DLL Name:'))
        self.assertEqual(dlls, ['KERNEL32.dll', 'msvcrt.dll', 'ole32.dll'])
        fields = dict(line.split(None, 1) for line in dump.splitlines()
                      if line.split(None, 1)[:1] in (['Magic'], ['Subsystem'],
                                                    ['MajorSubsystemVersion'], ['MinorSubsystemVersion']))
        self.assertTrue(fields['Magic'].startswith('010b'))              # PE32
        self.assertTrue(fields['Subsystem'].startswith('00000003'))      # console
        self.assertEqual((fields['MajorSubsystemVersion'].strip(), fields['MinorSubsystemVersion'].strip()),
                         ('4', '0'))

    def test_packer_imports_from_the_kernel_and_the_c_runtime_alone(self):
        # Its wildcards and console lines are its own: no runtime DLL.
        dump = objdump('-p', os.path.join(os.path.dirname(PRODUCT_EXE), 'ymw-pack.exe'))
        dlls = sorted(line.split(':', 1)[1].strip() for line in dump.splitlines()
                      if line.strip().startswith('DLL Name:'))
        self.assertEqual(dlls, ['KERNEL32.dll', 'msvcrt.dll'])


def wrestool(*arguments):
    return subprocess.run(['wrestool'] + list(arguments), stdout=subprocess.PIPE, check=True,
                          env=dict(os.environ, LC_ALL='C')).stdout


def version_block(data, at=0):
    """One block of a version resource and the blocks inside it, as the PE
    format lays out VS_VERSIONINFO: wLength, wValueLength, wType, the key in
    UTF-16 with its 0 unit, the value and then the children, each on a
    32-bit boundary. Returns (key, value, children) with the children by
    key."""
    def aligned(offset):
        return (offset + 3) & ~3
    length, value_length, text = struct.unpack_from('<HHH', data, at)
    key_end = at + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[at + 6:key_end].decode('utf-16-le')
    value_at = aligned(key_end + 2)
    value = data[value_at:value_at + (2 * value_length if text else value_length)]
    children = {}
    child = aligned(value_at + len(value))
    while child < at + length:
        child_length = struct.unpack_from('<H', data, child)[0]
        child_key, child_value, grandchildren = version_block(data, child)
        children[child_key] = (child_value, grandchildren)
        child = aligned(child + child_length)
    return key, value, children


class Resources(unittest.TestCase):
    """The shipped programs, read back by tools of their own: a manifest
    that asks for no administrator and names every Windows from Vista on,
    a Japanese version resource with the product's name, version and
    copyright, and no symbols or debugging sections."""

    PROGRAMS = ('yamawyrm-setup.exe', 'ymw-pack.exe')
    # The identifiers that Microsoft gives each Windows in the compatibility
    # section; Windows 11 has that of Windows 10.
    SUPPORTED_OS = {
        '{e2011457-1546-43c5-a5fe-008deee3d3f0}',   # Vista
        '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',   # 7
        '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',   # 8
        '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',   # 8.1
        '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',   # 10 and 11
    }

    def programs(self):
        folder = os.path.dirname(PRODUCT_EXE)
        return [os.path.join(folder, name) for name in self.PROGRAMS]

    def test_listed_resources(self):
        for program in self.programs():
            with self.subTest(program=program):
                listed = sorted(re.findall(r'--type=(\d+) --name=(\d+) --language=(\d+)',
                                           wrestool('-l', program).decode()))
                # A version resource in Japanese (1041) and a manifest
                # under the identifier that a process's loader reads (1).
                self.assertEqual(listed, [('16', '1', '1041'), ('24', '1', '0')])

    def test_manifest_asks_for_no_administrator_and_names_every_windows_from_vista_on(self):
        for program in self.programs():
            with self.subTest(program=program):
                manifest = ElementTree.fromstring(wrestool('-x', '--raw', '--type=24', '--name=1', program))
                levels = [element.attrib for element in manifest.iter('{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel')]
                self.assertEqual(levels, [{'level': 'asInvoker', 'uiAccess': 'false'}])
                systems = [element.get('Id') for element in
                           manifest.iter('{urn:schemas-microsoft-com:compatibility.v1}supportedOS')]
                self.assertEqual(sorted(systems), sorted(self.SUPPORTED_OS))

    def test_version_resource_in_the_language_of_its_strings(self):
        version = VERSION.split('.')
        for program in self.programs():
            with self.subTest(program=program):
                key, fixed, children = version_block(wrestool('-x', '--raw', '--type=16', '--name=1', program))
                self.assertEqual(key, 'VS_VERSION_INFO')
                signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<6I', fixed)
                self.assertEqual(signature, 0xFEEF04BD)
                numbers = [file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF]
                self.assertEqual(numbers, [int(n) for n in version] + [0])
                self.assertEqual((product_ms, product_ls), (file_ms, file_ls))
                self.assertEqual(sorted(children['StringFileInfo'][1]), ['041104B0'])
                strings = {name: value.decode('utf-16-le').rstrip('\0')
                           for name, (value, _) in children['StringFileInfo'][1]['041104B0'][1].items()}
                self.assertEqual(strings['ProductName'], 'Yamawyrm')
                self.assertEqual(strings['ProductVersion'], VERSION)
                self.assertEqual(strings['FileVersion'], VERSION)
                self.assertEqual(strings['OriginalFilename'], os.path.basename(program))
                self.assertEqual(strings['CompanyName'], 'the yamawyrm-setup authors')
                self.assertEqual(strings['LegalCopyright'], 'Copyright (c) the yamawyrm-setup authors')
                translation = children['VarFileInfo'][1]['Translation'][0]
                # Japanese, UTF-16: the block's name, 041104B0.
                self.assertEqual(struct.unpack('<HH', translation), (0x0411, 1200))

    def test_stripped(self):
        for program in self.programs():
            with self.subTest(program=program):
                headers = objdump('-h', '-p', program)
                characteristics = int(re.search(r'^Characteristics 0x([0-9a-f]+)', headers, re.M).group(1), 16)
                # IMAGE_FILE_LINE_NUMS_STRIPPED, _LOCAL_SYMS_STRIPPED,
                # _DEBUG_STRIPPED
                self.assertEqual(characteristics & 0x20C, 0x20C)
                self.assertNotIn('.debug_', headers)


class WindowsVersions(WineCase):
    """Both programs, manifest and all, load and run whichever Windows
    version Wine reports to them, 95 to 10 (set for each program: winecfg
    -v fails in a 64-bit prefix)."""

    def test_both_programs_run_as_every_windows(self):
        os.unlink(os.path.join(self.cwd, 'ymw.lz_'))
        packer = os.path.join(WINDOWS_BUILD, 'ymw-pack.exe')
        settings = ['HKCU\\Software\\Wine\\AppDefaults\\' + os.path.basename(program) for program in (SETUP_EXE, packer)]
        for version in ('win95', 'win98', 'nt40', 'winxp', 'win7', 'win10'):
            with self.subTest(version=version):
                for setting in settings:
                    self.reg('add', setting, '/v', 'Version', '/d', version)
                try:
                    setup = self.run_windows('\n')
                    pack = subprocess.run([WINE, packer, '--version'], cwd=self.cwd, env=wine_env(), timeout=60,
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
                finally:
                    for setting in settings:
                        self.reg('delete', setting)
                self.assertEqual(setup.code, 1)
                self.assertTrue(setup.stdout.endswith(b'Error: File cannot open. (ymw.lz_)\n'), setup.stdout)
                self.assertEqual((pack.returncode, pack.stdout.decode().split()), (0, ['ymw-pack', VERSION]))


class Branches(WineCase):
    """The four branches, with Wine's cmd.exe running mkdir."""

    def test_fresh_install_then_update_then_replace_then_refusal(self):
        folder = self.host('games', 'yamawyrm')
        run = self.run_windows('\nTaro Yamada\nn\n\n')
        self.assertConsole(run, e2e.BANNER + e2e.directory_part(DEFAULT) + e2e.EXTRACTING_ALL +
                           e2e.LISTING_ALL + e2e.ending())
        self.assertEqual(run.code, 0)
        self.assertInstalled(folder)
        self.assertTextFilesWritten(folder, DEFAULT.encode(), b'name:Taro,')
        for link_folder in LINK_FOLDERS:
            self.assertEqual(read_link(self.link(link_folder)), (DEFAULT + 'yamawyrm.bat', 'C:\\windows', 3))

        # Update: only the executable and the icon are written again; the
        # existing mkdir levels draw cmd's complaint on standard error only.
        self.write(os.path.join(folder, 'jguide.txt'), b'old guide')
        self.write(os.path.join(folder, 'yamawyrm.exe'), b'old exe')
        run = self.run_windows('\ny\n\nn\n\n')
        self.assertConsole(run, e2e.BANNER + e2e.directory_part(DEFAULT) + e2e.update_part(DEFAULT) +
                           e2e.EXTRACTING_EXE + e2e.LISTING_UPDATE + e2e.ending(e2e.NO_NAME))
        self.assertEqual(run.code, 0)
        self.assertInstalled(folder, ['yamawyrm.exe', 'yamawyrm.ico'])
        with open(os.path.join(folder, 'jguide.txt'), 'rb') as f:
            self.assertEqual(f.read(), b'old guide')

        # Replace: the six deletions reach what they name and nothing else.
        old = ['recover.exe', 'logfile', 'LOGFILE.old', 'one.SAV', 'bones', 'bonesfile.dat',
               'record/deep/x', 'keep.txt', 'save.sav.txt', 'notbone.txt']
        for name in old:
            self.write(os.path.join(folder, name), b'old')
        decoys = [self.host('games', 'one.sav'), self.host('games', 'bones'), self.host('bone.txt'),
                  self.host('games', 'yamawyrm2', 'x.sav'), self.host('games', 'yamawyrm2', 'yamawyrm.exe')]
        for decoy in decoys:
            self.write(decoy, b'decoy')
        run = self.run_windows('\nn\ny\n\nn\n\n')
        self.assertConsole(run, e2e.BANNER + e2e.directory_part(DEFAULT) + e2e.update_part(DEFAULT) +
                           e2e.ASK_REPLACE + e2e.DELETING + e2e.EXTRACTING_ALL + e2e.LISTING_ALL +
                           e2e.ending(e2e.NO_NAME))
        self.assertEqual(run.code, 0)
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted(list(e2e.GAME_FILES) + ['LOGFILE.old', 'keep.txt', 'notbone.txt',
                                                        'save.sav.txt', 'wyrmhold.cnf', 'yamawyrm.bat']))
        for decoy in decoys:
            self.assertTrue(os.path.exists(decoy), decoy)

        # Refusal: exit code 1, nothing touched.
        before = sorted(os.listdir(folder))
        run = self.run_windows('\nn\nn\n')
        self.assertConsole(run, e2e.BANNER + e2e.directory_part(DEFAULT) + e2e.update_part(DEFAULT) +
                           e2e.ASK_REPLACE + e2e.NOT_INSTALLED)
        self.assertEqual(run.code, 1)
        self.assertEqual(sorted(os.listdir(folder)), before)


class BootedPrefix(WineCase):
    """A prefix as Wine boots it has none of the fixed link folders: both
    builds save each shortcut in the user's folder of its kind, and Wine's
    menu builder and the POSIX build leave the same menu and desktop
    entries for it, unless WINEDLLOVERRIDES switches the builder off."""

    # Blanks and parentheses, which a desktop entry's Exec key escapes.
    FOLDER = 'My Games (1)'
    DIRECTORY = 'c:\\%s\\' % FOLDER

    def install(self, build, overrides, expected):
        """Installs afresh with `build` and returns the entries left, once
        `expected` of them are there or the menu builder has had its time."""
        self.clear_user_links_and_entries()
        shutil.rmtree(self.host(self.FOLDER), ignore_errors=True)
        answers = self.DIRECTORY + '\n\nn\n\n'
        if build == 'windows':
            run = self.run_windows(answers, WINEDLLOVERRIDES=overrides)
        else:
            os.makedirs(self.host(self.FOLDER))
            run = self.run_posix(answers, PREFIX, HOME=HOME_DIR, WINEDLLOVERRIDES=overrides)
        self.addCleanup(shutil.rmtree, self.host(self.FOLDER), True)
        self.assertConsole(run, e2e.BANNER + e2e.directory_part(self.DIRECTORY) + e2e.EXTRACTING_ALL +
                           e2e.LISTING_ALL + e2e.ending(e2e.NO_NAME))
        for link in self.user_links():
            self.assertEqual(read_link(link), (self.DIRECTORY + 'yamawyrm.bat', 'C:\\windows', 3), build)
        # Wine's menu builder runs after the save has returned, and makes
        # the desktop's entry executable once it is written: the entries
        # count once they are all there and stay as they are for a second.
        deadline = time.time() + (30 if expected else 2)
        while len(self.entries()) < max(expected, 1) and time.time() < deadline:
            time.sleep(0.2)
        found = self.entries()
        while expected and time.time() < deadline:
            time.sleep(1)
            again = self.entries()
            if again == found:
                break
            found = again
        return found

    def test_shortcuts_and_menu_entries_in_a_booted_prefix(self):
        for folder in LINK_FOLDERS:
            shutil.rmtree(self.host(*folder))
        self.addCleanup(lambda: [os.unlink(link) for link in self.user_links() if os.path.exists(link)])
        off = 'mscoree,mshtml=;winemenubuilder.exe=d'
        for build in ('windows', 'posix'):
            self.assertEqual(self.install(build, off, 0), {}, build)
        windows = self.install('windows', 'mscoree,mshtml=', 5)
        self.assertEqual(sorted(windows), sorted([
            '.config/menus/applications-merged/wine-Programs-%s.menu' % e2e.LINK_NAME[:-4],
            '.local/share/applications/wine/Programs/%s.desktop' % e2e.LINK_NAME[:-4],
            '.local/share/desktop-directories/wine-Programs.directory',
            '.local/share/desktop-directories/wine-wine.directory',
            'Desktop/%s.desktop' % e2e.LINK_NAME[:-4]]))
        self.assertEqual(self.install('posix', 'mscoree,mshtml=', 5), windows)


class Interpreter(WineCase):
    """A recording interpreter of ours, named by COMSPEC, sees the exact
    command lines; deltree never reaches it, the host carries it out. Where
    write is missing, the guide opens with the program for text files."""

    def test_command_lines_with_a_quoted_directory(self):
        folder = self.host('My Games')
        self.write(os.path.join(folder, 'yamawyrm.exe'), b'old')
        self.write(os.path.join(folder, 'bone.1'), b'old')
        log = os.path.join(self.root, 'commands.log')
        run = self.run_windows('c:\\My Games\nn\ny\n\ny\n\n', comspec=RECORDER_EXE, RECORD_LOG=z_path(log))
        self.assertEqual(run.code, 0)
        with open(log, 'rb') as f:
            lines = f.read().decode('cp932').splitlines()
        self.assertEqual(lines, ['mkdir c:', 'mkdir "c:\\My Games"', 'write "c:\\My Games\\jguide.txt"'])
        self.assertEqual(sorted(os.listdir(folder)), sorted(list(e2e.GAME_FILES) + ['wyrmhold.cnf', 'yamawyrm.bat']))


    # What a guide that could not be opened leaves on the console.
    GUIDE_NOT_OPENED = '『ガイドブック』を開けませんでした。"%s"にあります。\n'

    def test_guide_opens_where_write_is_missing(self):
        # As on Windows 11 24H2, the prefix has no write.exe (Wine keeps one
        # in each of its system folders): "y" opens the guide with the
        # program of the .txt files' "open" verb, a recorder of ours here,
        # and where that cannot start, a line says where the guide lies.
        writes = [os.path.join(top, name) for top, _, names in os.walk(self.host('windows'))
                  for name in names if name.lower() == 'write.exe']
        self.assertTrue(writes)
        for path in writes:
            os.rename(path, path + '.away')
            self.addCleanup(os.rename, path + '.away', path)
        log = os.path.join(self.root, 'opened.log')
        guide = DEFAULT + 'jguide.txt'
        rows = (
            ('%s "%%1"' % z_path(RECORDER_EXE), ['"%s"' % guide], ''),
            ('%s "%%1"' % z_path(os.path.join(self.root, 'absent.exe')), [], self.GUIDE_NOT_OPENED % guide),
        )
        for opener, opened, line in rows:
            with self.subTest(opener=opener):
                self.set_text_opener(opener)
                shutil.rmtree(self.host('games'), ignore_errors=True)
                run = self.run_windows('\n\ny\n\n', RECORD_LOG=z_path(log))
                self.assertEqual(run.code, 0)
                self.assertConsole(run, e2e.BANNER + e2e.directory_part(DEFAULT) + e2e.EXTRACTING_ALL +
                                   e2e.LISTING_ALL + e2e.SETTINGS + e2e.NO_NAME + e2e.FILES_WRITTEN +
                                   e2e.SHORTCUTS_DONE + e2e.ASK_GUIDE + line + e2e.CLOSING)
                # The shell starts the opener without waiting for it.
                deadline = time.time() + (30 if opened else 2)
                while not os.path.exists(log) and time.time() < deadline:
                    time.sleep(0.2)
                lines = []
                if os.path.exists(log):
                    with open(log, 'rb') as f:
                        lines = f.read().decode('cp932').splitlines()
                    os.unlink(log)
                self.assertEqual(lines, opened)

    def set_text_opener(self, command):
        """Makes `command` the "open" verb of .txt files, in the classes
        root where Wine's shell looks (it has none of its own); gone at the
        end of the test."""
        def remove():
            for key in ('HKCR\\.txt', 'HKCR\\ymwtest.guide'):
                subprocess.run([WINE, 'reg', 'delete', key, '/f'], env=wine_env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
        self.addCleanup(remove)
        self.reg('add', 'HKCR\\.txt', '/ve', '/d', 'ymwtest.guide')
        self.reg('add', 'HKCR\\ymwtest.guide\\shell\\open\\command', '/ve', '/d', command)


class Shortcuts(WineCase):
    """Wine's shell link object and the POSIX build's link files agree."""

    def test_links_agree_and_load_in_wine(self):
        self.assertEqual(self.run_windows('\n\nn\n\n').code, 0)
        prefix = self.posix_prefix(('games', 'yamawyrm'))
        self.assertEqual(self.run_posix('\n\nn\n\n', prefix).code, 0)
        for folder in LINK_FOLDERS:
            posix_link = os.path.join(prefix, 'drive_c', *folder, e2e.LINK_NAME)
            self.assertEqual(read_link(posix_link), read_link(self.link(folder)))
            # Wine's shell link object loads the POSIX build's file.
            shutil.copy(posix_link, self.link(folder))
            fields = self.load_link(folder)
            self.assertEqual(fields['path'].lower(), (DEFAULT + 'yamawyrm.bat').lower())
            self.assertEqual(fields['dir'], 'C:\\windows')

    # Names that a Western code page cannot hold below a Japanese folder, or
    # that are no DOS names: each gets a short name of Wine's making.
    # Each as the host spells it and as it is typed: a DOS name stays as the
    # host spells it.
    SHORT_NAMES = [(name, name) for name in ('My Games (1)', 'LongName12', 'abc.defg', 'x.txtt', 'a.b.c', '.hidden',
                                             'a[1]', 'ゲーム.txt', 'ｽﾀｰﾄ ﾒﾆｭｰ', 'Ａｂｃ', 'Привет', 'ΑΒΓ', 'Ⅹ1')]
    SHORT_NAMES.append(('Games', 'GAMES'))

    def test_short_names_are_those_of_wines_get_short_path_name(self):
        # The POSIX build, written for a Wine of code page 1252, names each
        # folder below c:\ゲーム by its short form, which Wine reads back as
        # the short form that its own GetShortPathNameW gives.
        lang = 'en_US.UTF-8'
        shutil.rmtree(self.host('ゲーム'), ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.host('ゲーム'), True)
        for host_name, typed in self.SHORT_NAMES:
            with self.subTest(name=typed):
                directory = 'c:\\ゲーム\\%s\\' % typed
                os.makedirs(self.host('ゲーム', host_name), exist_ok=True)
                run = self.run_posix_in(lang, directory + '\n\nn\n\n', HOME=self.root)
                self.assertEqual(run.code, 0, run.stdout.decode('utf-8', 'replace'))
                fields = self.load_link(e2e.DESKTOP_FOLDER, lang)
                self.assertEqual(fields['long'], 'c:\\ゲーム\\%s\\yamawyrm.bat' % host_name)
                self.assertEqual(fields['path'], fields['short'])
                self.assertTrue(fields['path'].isascii(), fields)
                self.assertEqual(fields['dir'], directory)


class PlayerView(WineCase):
    """The desktop shortcut, as Wine saved it and as the POSIX build wrote
    it, starts the batch file, which starts the game in its folder; and
    where the batch file's cd line cannot take the player there (a Japanese
    folder under a Western, Chinese or Korean console code page, a relative
    folder), each shortcut and menu entry of either build starts the game
    in the install folder all the same."""

    def start(self, command, lang='ja_JP.UTF-8', cwd=None):
        """Runs `command` under Wine and returns the folder that the stand-in
        game was started in."""
        record = os.path.join(self.root, 'game-ran.txt')
        # Wine's shell, started while the machine is busy, now and then
        # starts nothing and says nothing (seen once in some hundreds of
        # starts, the same shortcut starting the game before and after):
        # a way in counts as broken when a second start fails too.
        for _ in range(2):
            if os.path.exists(record):
                os.unlink(record)
            subprocess.run(command, cwd=cwd, env=wine_env(lang, GAME_RECORD=z_path(record)),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            # The shell starts a shortcut's program without waiting for it.
            deadline = time.time() + 30
            while not os.path.exists(record) and time.time() < deadline:
                time.sleep(0.2)
            time.sleep(0.2)
            if os.path.exists(record):
                with open(record, 'rb') as f:
                    return f.read().decode('utf-8')
        return '(the game never ran)'

    def start_link(self, link, lang='ja_JP.UTF-8'):
        return self.start([WINE, 'start', '/wait', '/unix', link], lang)

    def start_entry(self, entry, lang):
        """Runs a desktop entry's Exec key in its Path folder, with the
        loader under test in place of the one the entry names."""
        keys = {}
        with open(os.path.join(HOME_DIR, entry), encoding='utf-8') as f:
            for line in f:
                key, equals, value = line.rstrip('\n').partition('=')
                if equals:
                    keys.setdefault(key, value)
        # The escapes of a string value first, then the Exec key's quoting.
        unescaped = re.sub(r'\\([sntr\\])', lambda m: {'s': ' ', 'n': '\n', 't': '\t', 'r': '\r'}.get(m.group(1), '\\'),
                           keys['Exec'])
        command = shlex.split(unescaped)
        at = 1 if command[0] == 'env' else 0
        while '=' in command[at]:
            at += 1
        self.assertTrue(os.path.basename(command[at]).startswith('wine'), command)
        command[at] = WINE
        return self.start(command, lang, keys['Path'])

    def test_desktop_shortcut_starts_the_game_in_the_install_directory(self):
        with open(GAME_EXE, 'rb') as f:
            game = dict(e2e.GAME_FILES, **{'yamawyrm.exe': f.read()})
        self.put_archive(e2e.game_archive(game))
        self.assertEqual(self.run_windows('\n\nn\n\n').code, 0)
        link = self.link(e2e.DESKTOP_FOLDER)
        self.assertEqual(self.start_link(link).lower(), 'c:\\games\\yamawyrm')

        prefix = self.posix_prefix(('games', 'yamawyrm'))
        self.assertEqual(self.run_posix('\n\nn\n\n', prefix).code, 0)
        shutil.copy(os.path.join(prefix, 'drive_c', *e2e.DESKTOP_FOLDER, e2e.LINK_NAME), link)
        self.assertEqual(self.start_link(link).lower(), 'c:\\games\\yamawyrm')

    # Install folders of each kind that the batch file's cd line cannot
    # reach from the Windows directory, under locales whose console code
    # page is not 932 (437, 936, 949) and one that is: Japanese ones, one
    # ending in a byte of a backslash, and a relative one.
    WAYS_IN = (
        ('en_US.UTF-8', 'c:\\ゲーム'),
        ('zh_CN.UTF-8', 'c:\\ゲーム'),
        ('zh_CN.UTF-8', 'c:\\ソフト表\\'),
        ('zh_CN.UTF-8', 'inst\\sub'),
        ('ko_KR.UTF-8', 'c:\\ゲーム'),
        ('ko_KR.UTF-8', 'c:\\ソフト表\\'),
        ('ko_KR.UTF-8', 'inst\\sub'),
        ('ja_JP.UTF-8', 'inst\\sub'),
    )
    # How Python names each locale's ANSI code page.
    ANSI_CODECS = {'en_US.UTF-8': 'cp1252', 'zh_CN.UTF-8': 'gbk', 'ko_KR.UTF-8': 'cp949', 'ja_JP.UTF-8': 'cp932'}

    def install_for_player(self, build, lang, directory):
        """Installs afresh into `directory` with `build` under `lang`, in a
        booted prefix whose menu builder runs, and returns the desktop
        entries once all five of the builder's files are there."""
        self.clear_user_links_and_entries()
        answers = directory + '\n\nn\n\n'
        if build == 'windows':
            run = self.run_windows(answers, lang, WINEDLLOVERRIDES='mscoree,mshtml=')
        else:
            run = self.run_posix_in(lang, answers)
        self.assertEqual(run.code, 0, run.stdout.decode('utf-8' if build == 'posix' else 'cp932', 'replace'))
        deadline = time.time() + 30
        while len(self.entries()) < 5 and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(0.5)
        return sorted(name for name in self.entries() if name.endswith('.desktop'))

    def test_every_way_in_starts_the_game_in_the_install_directory(self):
        if session_display() is None:
            self.skipTest("the batch file's console window needs a display, and there is no Xvfb here")
        with open(GAME_EXE, 'rb') as f:
            game = dict(e2e.GAME_FILES, **{'yamawyrm.exe': f.read()})
        self.put_archive(e2e.game_archive(game))
        # A booted prefix: the shortcuts go into the user's folders, where
        # the menu builder makes an entry for each.
        for folder in LINK_FOLDERS:
            shutil.rmtree(self.host(*folder))
        self.addCleanup(self.clear_user_links_and_entries)
        for lang, directory in self.WAYS_IN:
            relative = not directory.startswith('c:')
            top = os.path.join(self.cwd, 'inst') if relative else self.host(directory[3:].rstrip('\\'))
            self.addCleanup(shutil.rmtree, top, True)
            expected = (z_path(os.path.join(self.cwd, 'inst', 'sub')) if relative else directory.rstrip('\\')).lower()
            links = {}
            for build in ('windows', 'posix'):
                with self.subTest(lang=lang, directory=directory, build=build):
                    skip_unless_locale(self, lang)
                    shutil.rmtree(top, ignore_errors=True)
                    entries = self.install_for_player(build, lang, directory)
                    self.assertEqual(len(entries), 2, entries)
                    links[build] = [read_link(link, 'latin-1') for link in self.user_links()]
                    for link in self.user_links():
                        self.assertEqual(self.start_link(link, lang).lower(), expected, link)
                    for entry in entries:
                        self.assertEqual(self.start_entry(entry, lang).lower(), expected, entry)
            # The POSIX build's shortcuts hold what Wine's shell link object
            # saved: the target in the same bytes of the ANSI code page (or
            # the same short form) and the same working directory.
            if len(links) == 2:
                with self.subTest(lang=lang, directory=directory, build='both'):
                    self.assertEqual(links['posix'], links['windows'])
                    target = links['posix'][0][0].encode('latin-1').decode(self.ANSI_CODECS[lang])
                    self.assertTrue(target.lower().endswith('\\yamawyrm.bat'), target)


class SameTree(WineCase):
    """The POSIX build and the Windows build leave the same tree and print
    the same on both streams, whatever the ANSI code page that Wine gives
    the Windows program (932 under a Japanese locale, 1252 under an English
    one)."""

    def tree(self, folder):
        found = {}
        for top, _, files in os.walk(folder):
            for name in files:
                path = os.path.join(top, name)
                with open(path, 'rb') as f:
                    found[os.path.relpath(path, folder)] = f.read()
        return found

    def test_same_paths_and_bytes(self):
        files = dict(e2e.GAME_FILES)
        files.update({'ソフト表.txt': 'ソ\\表'.encode('cp932'), 'ﾃﾞｰﾀ.dat': bytes(range(256))})
        archive = b''.join(e2e.stored_member(n, d) for n, d in files.items())
        with open(os.path.join(DATA_DIR, 'corpus', 'names', 'names.lzh'), 'rb') as f:
            archive += f.read()       # its end marker ends the archive
        answers = 'c:\\ゲーム\n山田\nn\n\n'
        for lang in ('ja_JP.UTF-8', 'en_US.UTF-8'):
            with self.subTest(lang=lang):
                self.setUp()
                shutil.rmtree(self.host('ゲーム'), ignore_errors=True)
                self.put_archive(archive)
                windows = self.run_windows(answers, lang)
                prefix = self.posix_prefix_at(os.path.join(self.root, 'posix-prefix-' + lang))
                posix = self.run_posix(answers, prefix, messages=lang)
                self.assertEqual((windows.code, posix.code), (0, 0))
                self.assertEqual(windows.stdout, posix.stdout)
                # Both interpreters complain of the existing c: alone, on
                # standard error, in the locale's language.
                self.assertEqual(windows.errors, posix.errors)
                self.assertEqual(windows.errors.decode('cp932'),
                                 'ファイルはすでに存在します。\n\n' if lang.startswith('ja') else e2e.ALREADY_EXISTS)
                windows_tree = self.tree(self.host('ゲーム'))
                self.assertIn('ソフト表.txt', windows_tree)
                self.assertEqual(windows_tree, self.tree(os.path.join(prefix, 'drive_c', 'ゲーム')))
                # Both shortcuts are saved and name the batch file. Wine reads
                # the target from the file's ANSI field alone: where code
                # page 1252 cannot hold the Japanese folder, the target is
                # its short form, and the shortcut starts in the install
                # folder, since the batch file's cd line cannot name it.
                for folder in LINK_FOLDERS:
                    fields = self.load_link(folder, lang)
                    self.assertEqual(fields['long'], 'c:\\ゲーム\\yamawyrm.bat')
                    self.assertEqual(read_link(self.link(folder))[0], fields['path'])
                    if lang.startswith('ja'):
                        self.assertEqual((fields['path'], fields['dir']), ('c:\\ゲーム\\yamawyrm.bat', 'C:\\windows'))
                    else:
                        self.assertTrue(fields['path'].isascii() and fields['path'].endswith('\\yamawyrm.bat'), fields)
                        self.assertEqual(fields['dir'], 'c:\\ゲーム\\')


class Terminal(WineCase):
    """On a terminal, under a Japanese and a non-Japanese UTF-8 locale, the
    questions are readable and a typed Japanese name arrives as Shift_JIS."""

    def converse(self, lang, directory, name):
        master, slave = pty.openpty()
        # Wine's console reads the keys themselves: Return arrives as CR.
        tty.setraw(slave)
        process = subprocess.Popen([WINE, SETUP_EXE], stdin=slave, stdout=slave, stderr=slave,
                                   cwd=self.cwd, env=wine_env(lang, TERM='xterm'), start_new_session=True)
        os.close(slave)
        seen = bytearray()
        searched = 0

        def wait_for(text):
            nonlocal searched
            marker = text.encode('utf-8')
            deadline = time.time() + 60
            while time.time() < deadline:
                at = bytes(seen).find(marker, searched)
                if at >= 0:
                    searched = at + len(marker)
                    return
                ready, _, _ = select.select([master], [], [], 0.5)
                if ready:
                    try:
                        seen.extend(os.read(master, 4096))
                    except OSError:
                        break
            self.fail('never saw %r in %r' % (text, bytes(seen).decode('utf-8', 'replace')))

        try:
            wait_for('Yamawyrmをインストールする場所を指定してください。')
            wait_for(e2e.PROMPT)
            os.write(master, directory.encode('utf-8') + b'\r')
            wait_for('あなたの名前は')
            wait_for(e2e.PROMPT)
            os.write(master, name.encode('utf-8') + b'\r')
            wait_for('[y/n]')
            wait_for(e2e.PROMPT)
            os.write(master, b'n\r')
            wait_for('リターンキーを押してください。')
            os.write(master, b'\r')
            self.assertEqual(process.wait(timeout=60), 0)
        finally:
            if process.poll() is None:
                process.kill()
            os.close(master)

    def test_questions_and_a_typed_name_on_a_terminal(self):
        for lang, folder in (('ja_JP.UTF-8', 'tty-ja'), ('C.UTF-8', 'tty-c')):
            with self.subTest(lang=lang):
                self.converse(lang, 'c:\\' + folder, '山田')
                with open(self.host(folder, 'wyrmhold.cnf'), 'rb') as f:
                    self.assertIn(b'OPTIONS=name:' + '山田'.encode('cp932') + b',,notime', f.read())


class ConsoleWindow(WineCase):
    """Started in a console window of its own, as a double click starts it,
    the program clears the window through the console, so no escape
    sequence shows, and an early end waits for Return so that its message
    can be read before the window closes."""

    def test_cleared_window_waits_at_an_early_end(self):
        if session_display() is None:
            self.skipTest("Wine's console window needs a display, and there is no Xvfb here")
        os.unlink(os.path.join(self.cwd, 'ymw.lz_'))
        result = subprocess.run([WINE, CONSOLE_WINDOW_EXE, z_path(SETUP_EXE), e2e.PROMPT, 'リターンキーを押してください。'],
                                cwd=self.cwd, env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL, timeout=120)
        report = result.stdout.decode('utf-8')
        head, _, screens = report.partition('\nfirst=')
        last = screens.partition('\nlast=')[2]
        self.assertEqual(dict(line.split('=') for line in head.splitlines()), {'waiting': '1', 'code': '1'}, report)
        # Read once everything is drawn: the window, as Wine's console opens
        # it, may still blank the rows written first.
        self.assertTrue(last.startswith(e2e.RULE + '  日本語Wyrmhold'), last)
        self.assertNotIn('[2J', last)
        self.assertIn('Error: File cannot open. (ymw.lz_)\nリターンキーを押してください。', last)


class Packer(WineCase):
    """The packer's Windows build packs the demo files into the same archive
    as its POSIX build, byte for byte, keeps names that code page 932 holds,
    refuses twins that only Unicode case folding finds, and lists and tests
    archives in the same lines, names escaped."""

    def pack(self, program, archive, *files):
        return subprocess.run(program + [archive] + list(files), cwd=self.cwd, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=120,
                              env=wine_env(SOURCE_DATE_EPOCH='1700000000'))

    def test_same_archive_as_the_posix_build(self):
        demo = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'demo', 'files')
        shutil.copytree(demo, os.path.join(self.cwd, 'files'))
        # A name stored decomposed (か and U+3099) is packed composed.
        self.write(os.path.join(self.cwd, 'files', 'か\u3099.txt'), b'kana')
        windows = [WINE, os.path.join(WINDOWS_BUILD, 'ymw-pack.exe')]
        posix = [os.path.join(os.path.dirname(POSIX_BINARY), 'ymw-pack')]
        for program, archive in ((windows, 'windows.lz_'), (posix, 'posix.lz_')):
            self.assertEqual(self.pack(program, archive, 'files').returncode, 0, program)
        with open(os.path.join(self.cwd, 'windows.lz_'), 'rb') as w, open(os.path.join(self.cwd, 'posix.lz_'), 'rb') as p:
            self.assertEqual(w.read(), p.read())
        # The same listing, in lines of Windows text.
        listed = self.pack(windows, '-l', 'windows.lz_').stdout.decode('utf-8')
        self.assertIn('マップ.dat\r\n', listed)
        self.assertIn(' が.txt\r\n', listed)
        self.assertEqual(listed.replace('\r\n', '\n'), self.pack(posix, '-l', 'posix.lz_').stdout.decode('utf-8'))
        # Names that code page 932 holds as they are keep their bytes
        # (composing would change them): U+212B, U+FA10.
        for name, stored in (('\u212b.txt', b'\x81\xf0.txt'), ('\ufa10.txt', b'\xfa\x9c.txt')):
            folder = os.path.join(self.cwd, 'kept')
            shutil.rmtree(folder, ignore_errors=True)
            self.write(os.path.join(folder, name), b'kept')
            for program, archive in ((windows, 'kept-windows.lz_'), (posix, 'kept-posix.lz_')):
                self.assertEqual(self.pack(program, archive, 'kept').returncode, 0, (program, name))
            with open(os.path.join(self.cwd, 'kept-windows.lz_'), 'rb') as w, \
                    open(os.path.join(self.cwd, 'kept-posix.lz_'), 'rb') as p:
                packed = w.read()
                self.assertEqual(packed, p.read(), name)
            self.assertEqual(packed[22:22 + packed[21]], stored, name)
            for archive in ('kept-windows.lz_', 'kept-posix.lz_'):
                os.unlink(os.path.join(self.cwd, archive))
        shutil.rmtree(os.path.join(self.cwd, 'kept'))
        os.makedirs(os.path.join(self.cwd, 'twins'))
        for name in ('Ａ.txt', 'ａ.txt'):
            self.write(os.path.join(self.cwd, 'twins', name), b'twin')
        refused = self.pack(windows, 'twins.lz_', 'twins')
        self.assertEqual(refused.returncode, 1)
        self.assertIn(b'names that Windows takes for the same file', refused.stderr)
        # Unix names that Windows cannot hold are refused by their own
        # names, not packed under the part after a colon or a backslash.
        for name in ('a:b.txt', 'a\\b.txt'):
            folder = os.path.join(self.cwd, 'unix')
            shutil.rmtree(folder, ignore_errors=True)
            self.write(os.path.join(folder, name), b'unix')
            refused = self.pack(windows, 'unix.lz_', 'unix')
            self.assertEqual(refused.returncode, 1, name)
            self.assertIn(b'name holds a character that Windows does not allow in file names', refused.stderr)
        self.assertEqual(sorted(os.listdir(self.cwd)),
                         ['files', 'posix.lz_', 'twins', 'unix', 'windows.lz_', 'ymw.lz_'])

    def test_lists_and_tests_as_the_posix_build_does(self):
        # What is no archive, what the installer loses or renames, and names
        # that would steer a terminal, shown escaped: the same lines from
        # both builds (in Windows text), and the same exit codes.
        windows = [WINE, os.path.join(WINDOWS_BUILD, 'ymw-pack.exe')]
        posix = [os.path.join(os.path.dirname(POSIX_BINARY), 'ymw-pack')]
        names = [b'A.txt', b'a.txt', b'WYRMHOLD.CNF', b'bad name.', b'x\x1b[2K\rgood.txt  OK', b'line\nforged',
                 b'\x1b]0;title\x07t', b'del\x7f.txt']
        rows = (
            ('an icon', b'\x00\x00\x01\x00\x01\x00\x10\x10' + bytes(range(64))),
            ('a text', b'This text is long enough to fill a header of any level, and then some.\n'),
            ('an end marker and its padding', b'\x00' + b'\x1a' * 127),
            ('names', b''.join(e2e.stored_member(name, b'data') for name in names) + b'\x00'),
        )
        for what, data in rows:
            with self.subTest(what=what):
                self.write(os.path.join(self.cwd, 'x.lz_'), data)
                for mode in ('-l', '-t'):
                    ours = self.pack(windows, mode, 'x.lz_')
                    theirs = self.pack(posix, mode, 'x.lz_')
                    self.assertEqual(ours.returncode, theirs.returncode, mode)
                    self.assertEqual(ours.stdout.replace(b'\r\n', b'\n'), theirs.stdout, mode)
                    self.assertEqual(ours.stderr.replace(b'\r\n', b'\n'), theirs.stderr, mode)
                    shown = ours.stdout + ours.stderr
                    self.assertFalse(any(c < 0x20 and c not in b'\r\n' or c == 0x7f for c in shown), shown)
                    if what in ('an icon', 'a text'):
                        self.assertEqual((ours.returncode, ours.stderr), (1, b'ymw-pack: x.lz_: not an LHA archive\r\n'))
                    if what == 'names':
                        self.assertIn(b'x\\x1b[2K\\x0dgood.txt  OK', shown)
                        self.assertIn(b'del\\x7f.txt', shown)
                    if what == 'names' and mode == '-l':
                        self.assertIn(b'lost: a later member', shown)
                        self.assertIn(b'overwritten: the installer writes a file of its own', shown)
                        self.assertIn(b'created as "bad name"', shown)
                    if what == 'names' and mode == '-t':
                        self.assertIn(b'x.lz_: 6 of 8 members failed the test\r\n', ours.stderr)

    def test_wildcards_expand_as_windows_programs_expand_them(self):
        demo = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'demo', 'files')
        shutil.copytree(demo, os.path.join(self.cwd, 'files'))
        windows = [WINE, os.path.join(WINDOWS_BUILD, 'ymw-pack.exe')]
        posix = [os.path.join(os.path.dirname(POSIX_BINARY), 'ymw-pack')]
        # Each pattern gives its names sorted, in the order of the patterns:
        # the archive of the same files named one by one.
        rows = (
            (['files\\*'], ['files']),
            (['files\\*.txt', 'files\\yamawyrm.???'],
             ['files/jguide.txt', 'files/license.txt', 'files/せりふ.txt', 'files/yamawyrm.exe', 'files/yamawyrm.ico']),
            (['files\\マ*', 'files\\license.txt'], ['files/マップ.dat', 'files/license.txt']),
        )
        for patterns, names in rows:
            with self.subTest(patterns=patterns):
                for archive in ('windows.lz_', 'posix.lz_'):
                    if os.path.exists(os.path.join(self.cwd, archive)):
                        os.unlink(os.path.join(self.cwd, archive))
                self.assertEqual(self.pack(windows, 'windows.lz_', *patterns).returncode, 0)
                self.assertEqual(self.pack(posix, 'posix.lz_', *names).returncode, 0)
                with open(os.path.join(self.cwd, 'windows.lz_'), 'rb') as w, \
                        open(os.path.join(self.cwd, 'posix.lz_'), 'rb') as p:
                    self.assertEqual(w.read(), p.read())
        # A pattern that matches nothing is named, and nothing is written; a
        # wildcard before the last component is no pattern.
        for pattern, line in (('files\\*.none', b'ymw-pack: no file matches: files\\*.none'),
                              ('fil*\\license.txt', b'fil*\\license.txt')):
            with self.subTest(pattern=pattern):
                refused = self.pack(windows, 'none.lz_', 'files\\license.txt', pattern)
                self.assertEqual(refused.returncode, 1)
                self.assertIn(line, refused.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.cwd, 'none.lz_')))

    def test_lines_in_the_characters_of_the_console(self):
        demo = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'demo', 'files')
        shutil.copytree(demo, os.path.join(self.cwd, 'files'))
        packer = os.path.join(WINDOWS_BUILD, 'ymw-pack.exe')
        self.assertEqual(self.pack([WINE, packer], 'demo.lz_', 'files').returncode, 0)
        # Whatever the console's code page (932, 437), both streams show
        # the names, where UTF-8 bytes would show as other characters.
        for lang in ('ja_JP.UTF-8', 'en_US.UTF-8'):
            with self.subTest(lang=lang):
                code, shown = on_terminal([WINE, packer, '-l', 'demo.lz_'], self.cwd, wine_env(lang, TERM='xterm'))
                self.assertEqual(code, 0)
                for name in ('せりふ.txt', 'マップ.dat'):
                    self.assertIn(name + '\r\n', shown)
                code, shown = on_terminal([WINE, packer, 'new.lz_', 'ない.txt'], self.cwd,
                                          wine_env(lang, TERM='xterm'))
                self.assertEqual(code, 1)
                # The name, then the system's reason.
                self.assertIn('ない.txt:', shown)


class BadInput(WineCase):
    """Bad input under Wine is met as the POSIX build meets it."""

    def both(self, answers, old_install=False):
        """Runs both builds on `answers` from the same state, an earlier
        installation in the default folder or none, and compares them."""
        shutil.rmtree(self.host('games'), ignore_errors=True)
        posix_prefix = tempfile.mkdtemp(prefix='posix-', dir=self.root)
        self.posix_prefix_at(posix_prefix, ('games', 'yamawyrm'))  # the silent interpreter makes none
        posix_folder = os.path.join(posix_prefix, 'drive_c', 'games', 'yamawyrm')
        if old_install:
            self.write(self.host('games', 'yamawyrm', 'yamawyrm.exe'), b'old')
            self.write(os.path.join(posix_folder, 'yamawyrm.exe'), b'old')
        windows = self.run_windows(answers)
        posix = self.run_posix(answers, posix_prefix)
        self.assertEqual(windows.stdout.decode('cp932', 'replace'), posix.stdout.decode('cp932', 'replace'))
        self.assertEqual(windows.code, posix.code)
        return windows

    def test_overlong_directory_and_end_of_input_at_every_question(self):
        run = self.both('c:\\' + 'x' * 240 + '\n')
        self.assertIn(e2e.TOO_LONG.encode('cp932'), run.stdout)
        self.assertEqual(run.code, 0)
        self.assertEqual(self.both('', old_install=True).code, 1)
        for answers in ('\nn\n', '\ny\n', '\ny\nHero\n', '\ny\nHero\nn\n'):
            with self.subTest(answers=answers):
                self.both(answers, old_install=True)

    def test_percent_never_reaches_the_interpreter(self):
        # cmd.exe expands %windir% even inside quotes: the answer is asked
        # again, and no command line holds it.
        log = os.path.join(self.root, 'commands.log')
        run = self.run_windows('c:\\%windir%\nc:\\a!b\n\n\nn\n\n', comspec=RECORDER_EXE, RECORD_LOG=z_path(log))
        self.assertTrue(run.stdout.decode('cp932').startswith(
            e2e.BANNER + e2e.ASK_DIRECTORY + (e2e.BAD_CHARACTER + e2e.PROMPT) * 2 + '\n' + DEFAULT))
        with open(log, 'rb') as f:
            self.assertEqual(f.read().decode('cp932').splitlines(), e2e.mkdir_lines('c:', 'c:\\games', 'c:\\games\\yamawyrm'))

    def test_missing_and_damaged_archives(self):
        os.unlink(os.path.join(self.cwd, 'ymw.lz_'))
        run = self.both('\n')
        self.assertEqual(run.code, 1)
        self.assertTrue(run.stdout.endswith(b'Error: File cannot open. (ymw.lz_)\n'))
        with open(os.path.join(DATA_DIR, 'corpus', 'distribution', 'distribution.lzh'), 'rb') as f:
            archive = f.read()
        # Cut inside a member, and just before the end marker.
        for cut, line in ((len(archive) // 3, b'Error: CRC mismatch.'), (len(archive) - 1, b'Error: Header sum error')):
            with self.subTest(cut=cut):
                self.put_archive(archive[:cut])
                self.assertIn(line, self.both('\n\nn\n\n').stdout)


class BadInputTable(WineCase):
    """The rows of the POSIX bad-input table that the Windows program meets
    under Wine, with the outcome they have there."""

    APP_DEFAULTS = 'HKCU\\Software\\Wine\\AppDefaults\\' + os.path.basename(SETUP_EXE)

    def clear_drive_c(self, row):
        """Removes what an earlier row left at the top of drive_c."""
        names = {'inst'}
        for item in row.setup:
            first = item.rpartition(':')[2].partition('>')[0].split('/')[0]
            if ':' in item or item.endswith('/'):
                names.add(first)
        names.update(path.split('/')[2] for path in row.files if path.startswith('prefix/drive_c/'))
        for name in names - {'windows', 'dist', 'outside'}:
            path = self.host(name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.unlink(path)

    def test_bad_inputs(self):
        for row in e2e.bad_input_rows():
            if row.wine is None:
                continue
            wine = {} if row.wine == e2e.SAME else row.wine
            with self.subTest(row.label):
                self.setUp()
                self.clear_drive_c(row)
                self.prepare(row.setup)
                self.put_archive(row.archive)
                if 'win98' in row.setup:
                    # Set per program: winecfg -v fails in a 64-bit prefix.
                    self.reg('add', self.APP_DEFAULTS, '/v', 'Version', '/d', 'win98')
                try:
                    for _ in range(self.rounds(row)):
                        with self.racing(row):
                            run = self.run_wine_row(row)
                        self.checkRound(row, run, wine.get('code', row.code), wine.get('files', row.files))
                finally:
                    self.release_mounts()
                    if 'win98' in row.setup:
                        self.reg('delete', self.APP_DEFAULTS)
                console = wine.get('console', row.console or '')
                if 'interrupt' in row.setup and row.console is not e2e.RACE:
                    # Read off the window: its last lines, once the program
                    # has ended.
                    console = row.console[row.console.rindex(e2e.PROMPT):]
                    run.stdout = run.stdout[run.stdout.rindex(e2e.PROMPT.encode('cp932')):]
                self.assertRowOutcome(row, run, console, wine.get('code', row.code), wine.get('files', row.files))

    def run_wine_row(self, row):
        if 'interrupt' not in row.setup and 'interrupt:extraction' not in row.setup:
            return self.run_windows(row.answers)
        # A console control event needs a console window of the program's
        # own: Wine's console on a terminal takes Ctrl+C for the end of input.
        if session_display() is None:
            self.skipTest("Wine's console window needs a display, and there is no Xvfb here")
        # At the name question, or at a moment of chance once the answer
        # has started the extraction.
        when = ['interrupt'] if 'interrupt' in row.setup else ['interrupt', str(random.randint(100, 1500))]
        result = subprocess.run([WINE, CONSOLE_WINDOW_EXE, z_path(SETUP_EXE), e2e.PROMPT, e2e.SETTINGS.split('\n')[-2],
                                 row.answers.split('\n')[0]] + when,
                                cwd=self.cwd, env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL, timeout=120)
        report = result.stdout.decode('utf-8')
        code = int(report.partition('code=')[2].split('\n')[0])
        screen = report.partition('\nafter=')[2].rstrip('\n')
        # Rows of the window, blanks at their ends cut, and the line feed
        # that ends the last line.
        return e2e.Run((screen + '\n').encode('cp932'), code, [])

def wineserver(*arguments):
    server = os.path.join(os.path.dirname(WINE), 'wineserver')
    subprocess.run([server if os.path.exists(server) else 'wineserver'] + list(arguments),
                   env=wine_env(), timeout=300)


def start_xvfb():
    """Starts an Xvfb for the session, where there is one: Wine opens its
    console windows on the display its session started with."""
    xvfb = shutil.which('Xvfb')
    if xvfb is None:
        return
    read_end, write_end = os.pipe()
    server = subprocess.Popen([xvfb, '-displayfd', str(write_end), '-nolisten', 'tcp', '-screen', '0', '1024x768x24'],
                              pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    # Xvfb writes the number and its line feed in two writes, and ends with
    # a fatal error when the second finds the pipe closed: read the line.
    number = b''
    while not number.endswith(b'\n'):
        piece = os.read(read_end, 16)
        if not piece:
            break
        number += piece
    number = number.decode().strip()
    os.close(read_end)
    if number:
        with open(DISPLAY_FILE, 'w') as f:
            f.write(':%s\n%d\n' % (number, server.pid))


def stop_xvfb():
    try:
        with open(DISPLAY_FILE) as f:
            os.kill(int(f.read().split()[1]), signal.SIGTERM)
    except (OSError, IndexError, ValueError):
        pass
    if os.path.exists(DISPLAY_FILE):
        os.unlink(DISPLAY_FILE)


def make_locales():
    """The locales of MADE_LOCALES in LOCALE_DIR, made once for the build
    folder (localedef takes a while): nothing outside it changes. One that
    cannot be made is left out, and its rows are skipped."""
    localedef = shutil.which('localedef')
    for lang in MADE_LOCALES:
        target = os.path.join(LOCALE_DIR, lang)
        if localedef is None or os.path.isdir(target):
            continue
        os.makedirs(LOCALE_DIR, exist_ok=True)
        making = target + '.making'
        shutil.rmtree(making, ignore_errors=True)
        # localedef warns of what the sources leave out, with a non-zero
        # status, and makes the locale all the same.
        subprocess.run([localedef, '-i', lang.split('.')[0], '-f', 'UTF-8', making],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        if os.path.isfile(os.path.join(making, 'LC_CTYPE')):
            os.rename(making, target)
        else:
            shutil.rmtree(making, ignore_errors=True)


def boot():
    """A fresh prefix and a wineserver that stays until stop(), so that the
    tests do not pay for starting either again; the locales that the tests
    need and the system may lack."""
    make_locales()
    stop_xvfb()
    start_xvfb()
    shutil.rmtree(PREFIX, ignore_errors=True)
    shutil.rmtree(HOME_DIR, ignore_errors=True)
    os.makedirs(os.path.join(HOME_DIR, 'Desktop'))
    subprocess.run([WINE, 'wineboot', '-i'], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300, check=True)
    if not os.path.isdir(os.path.join(PREFIX, 'drive_c', 'windows')):
        raise SystemExit('the Wine prefix did not boot: %s' % PREFIX)
    wineserver('-p')


def stop():
    wineserver('-k')
    stop_xvfb()


if __name__ == '__main__':
    if sys.argv[1:] == ['boot']:
        boot()
    elif sys.argv[1:] == ['stop']:
        stop()
    else:
        e2e.BINARY = POSIX_BINARY
        e2e.DATA_DIR = DATA_DIR
        unittest.main(argv=[sys.argv[0]] + sys.argv[1:], verbosity=2)

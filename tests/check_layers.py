#!/usr/bin/env python3
"""Checks that the program's dependencies run one way.

    installer/ -> lha/ -> host/ -> shared/
    packer/    -> lha/pack/ -> lha/

Every #include "folder/..." of a source file must name its own folder or one
that its folder may use. Inside lha/, the reader at its top is what the
installer links; lha/pack/ (the encoder, headers of every level, the walk
over an archive) is what only the packer links: it stands above the reader
and uses it, the reader never uses it, and of the other folders only the
packer does. Inside host/, the service headers at its top are
all that the other folders see; host/portable/ (what both sides share) uses
the services and shared/ only, never a side; each side (host/posix/,
host/win32/) uses its own rooms, the portable pieces and the services, never
the other side. Inside a side, its top (the services' implementations; on
POSIX also the character-set layer) uses its rooms; host/posix/wine/ (what
imitates Wine) uses host/posix/unix/ and the top's character-set layer;
host/posix/unix/ (file descriptors, the one way to write) and
host/win32/kernel/ (the kernel's names of entries, the one way to write)
use no other room of their side. No unit (a header and its source) reaches
itself again through its includes. The build's libraries must link the
same way. The tests stand as the product does: a folder of tests/ that
holds tests of a unit (*_test.cpp) mirrors a folder of the product
(tests/host/posix/wine/ tests host/posix/wine/).
Usage: check_layers.py SOURCE_DIR
"""
import os
import re
import sys

# What each folder may include, besides itself.
MAY_USE = {
    'shared': set(),
    'host': {'shared'},
    'lha': {'host', 'shared'},
    'installer': {'lha', 'host', 'shared'},
    'packer': {'lha', 'host', 'shared'},
    'bench': {'lha', 'host', 'shared'},
}
# What each library may link, by the folder (and room of lha/) it is built
# from.
LIBRARIES = {'yamawyrm_shared': 'shared', 'yamawyrm_host': 'host', 'yamawyrm_lha': 'lha',
             'yamawyrm_lha_pack': 'lha/pack', 'yamawyrm_installer': 'installer', 'yamawyrm_packer': 'packer'}
# Which rooms of lha/ each room of lha/ may include: the reader at its top
# ('') its own alone; the packer's half, lha/pack/, its own and the reader.
LHA_ROOMS = {'': {''}, 'pack': {'', 'pack'}}
# Which rooms of lha/ the folders that use lha/ may include: the packer
# both halves, every other folder the reader alone.
LHA_ROOMS_OF = {'packer': {'', 'pack'}}
# Which rooms of host/ each room of host/ may include: the services at its
# top ('') include none; the portable pieces none but their own; each side
# its own and the portable pieces.
HOST_ROOMS = {'': set(), 'portable': {'portable'}, 'posix': {'posix', 'portable'},
              'win32': {'win32', 'portable'}}
# Which rooms of its side each room of a side may include, by their paths
# below host/: the side's top its rooms; the Wine imitation the Unix
# helpers and the top's character-set layer; the Unix helpers and the
# kernel's helpers none but their own.
SIDE_ROOMS = {
    'posix': {'posix', 'posix/wine', 'posix/unix'},
    'posix/wine': {'posix/wine', 'posix/unix', 'posix'},
    'posix/unix': {'posix/unix'},
    'win32': {'win32', 'win32/kernel'},
    'win32/kernel': {'win32/kernel'},
}
# The folders of the product whose rooms the tests mirror.
PRODUCT_FOLDERS = ('shared', 'host', 'lha', 'installer', 'packer')

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]*)"')


def host_room(path):
    """'portable', 'posix' or 'win32' for a header below host/, '' for a
    service header at its top."""
    parts = path.split('/')
    return parts[0] if len(parts) > 1 else ''


def side_room(path):
    """The room of a side that a file below host/ stands in ('posix',
    'posix/wine', 'win32/kernel', ...), by its folders."""
    return '/'.join(path.split('/')[:-1])


def lha_fault(user, user_room, room):
    """Why a file of the folder `user` (of the room user_room where that is
    lha/) may not use the room `room` of lha/, or None."""
    if user == 'lha':
        if user_room not in LHA_ROOMS:
            return 'lha/%s/ is no room of lha/' % user_room
        allowed = LHA_ROOMS[user_room]
    else:
        allowed = LHA_ROOMS_OF.get(user, {''})
    if room in allowed:
        return None
    if room not in LHA_ROOMS:
        return 'lha/%s/ is no room of lha/' % room
    return '%s may not use lha/%s' % (user + ('/' + user_room if user_room else ''), room + '/' if room else '')


def fault_of(top, path, folder, included_folder, rest):
    """Why `path` (in `folder`) may not include included_folder/rest, or
    None."""
    if included_folder != folder and included_folder not in MAY_USE[folder]:
        return '%s may not include %s/' % (folder, included_folder)
    if included_folder == 'lha':
        own = os.path.relpath(path, os.path.join(top, 'lha')).replace(os.sep, '/') if folder == 'lha' else ''
        return lha_fault(folder, host_room(own), host_room(rest))
    room = host_room(rest)
    if included_folder != 'host' or not room:
        return None
    if folder != 'host':
        return '%s may include only the services of host/, not host/%s/' % (folder, room)
    own_path = os.path.relpath(path, os.path.join(top, 'host')).replace(os.sep, '/')
    own = host_room(own_path)
    if room not in HOST_ROOMS[own]:
        return 'host/%s may not include host/%s/' % (own or '*.h', room)
    if room != own or room == 'portable':
        return None
    own_room, included_room = side_room(own_path), side_room(rest)
    for side_room_name in (own_room, included_room):
        if side_room_name not in SIDE_ROOMS:
            return 'host/%s/ is no room of its side' % side_room_name
    if included_room not in SIDE_ROOMS[own_room]:
        return 'host/%s/ may not include host/%s/' % (own_room, included_room)
    return None


def unit_of(path):
    """A file's unit: its path below the source folder without its ending,
    so that a header and its source are one."""
    return os.path.splitext(path)[0]


def cycle_faults(includes):
    """One fault for each unit that reaches itself again through the
    includes of its files (`includes`: unit -> the units it includes)."""
    faults = []
    state = {}  # unit -> 1 while its includes are walked, 2 once done

    def walk(unit, trail):
        state[unit] = 1
        for other in sorted(includes.get(unit, ())):
            if state.get(other) == 1:
                cycle = trail[trail.index(other):] + [other]
                faults.append('%s: includes come round again: %s' % (other, ' -> '.join(cycle)))
            elif other not in state:
                walk(other, trail + [other])
        state[unit] = 2

    for unit in sorted(includes):
        if unit not in state:
            walk(unit, [unit])
    return faults


def mirror_faults(top):
    """One fault for each folder of tests/ that holds tests of a unit and
    stands where no folder of the product does."""
    faults = []
    for folder in PRODUCT_FOLDERS:
        for root, _, files in os.walk(os.path.join(top, 'tests', folder)):
            if not any(name.endswith('_test.cpp') for name in files):
                continue
            mirrored = os.path.relpath(root, os.path.join(top, 'tests'))
            if not os.path.isdir(os.path.join(top, mirrored)):
                faults.append('tests/%s/: no folder %s/ of the product to mirror' %
                              (mirrored.replace(os.sep, '/'), mirrored.replace(os.sep, '/')))
    return faults


def main():
    top = sys.argv[1]
    faults = []
    includes = {}
    for folder in MAY_USE:
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in files:
                path = os.path.join(root, name)
                unit = unit_of(os.path.relpath(path, top).replace(os.sep, '/'))
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        included = unit_of(match.group(1) + '/' + match.group(2))
                        if included != unit:
                            includes.setdefault(unit, set()).add(included)
                        fault = fault_of(top, path, folder, match.group(1), match.group(2))
                        if fault:
                            faults.append('%s:%d: %s' % (os.path.relpath(path, top), number, fault))
    faults += cycle_faults(includes)
    faults += mirror_faults(top)
    with open(os.path.join(top, 'CMakeLists.txt'), encoding='utf-8') as f:
        cmake = f.read()
    for library, unit in LIBRARIES.items():
        folder, _, room = unit.partition('/')
        for linked in re.findall(r'target_link_libraries\(\s*%s\s+([^)]*)\)' % library, cmake):
            for other, other_unit in LIBRARIES.items():
                other_folder, _, other_room = other_unit.partition('/')
                if other == library or other not in linked.split():
                    continue
                if ((other_folder != folder and other_folder not in MAY_USE[folder])
                        or (other_folder == 'lha' and lha_fault(folder, room, other_room))):
                    faults.append('CMakeLists.txt: %s may not link %s' % (library, other))
    for fault in faults:
        print(fault)
    print('%d layering faults' % len(faults))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

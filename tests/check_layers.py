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
the other side. The build's libraries must link the same way.
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

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]*)"')


def host_room(path):
    """'portable', 'posix' or 'win32' for a header below host/, '' for a
    service header at its top."""
    parts = path.split('/')
    return parts[0] if len(parts) > 1 else ''


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
    own = host_room(os.path.relpath(path, os.path.join(top, 'host')).replace(os.sep, '/'))
    if room not in HOST_ROOMS[own]:
        return 'host/%s may not include host/%s/' % (own or '*.h', room)
    return None


def main():
    top = sys.argv[1]
    faults = []
    for folder in MAY_USE:
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in files:
                path = os.path.join(root, name)
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        fault = fault_of(top, path, folder, match.group(1), match.group(2))
                        if fault:
                            faults.append('%s:%d: %s' % (os.path.relpath(path, top), number, fault))
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

#!/usr/bin/env python3
"""Checks that the program's dependencies run one way.

    installer/ -> lha/ -> shared/        host/ -> shared/

Every #include "folder/..." of a source file must name its own folder or one
that its folder may use, and the build's libraries must link the same way:
the archive library links no installer library, and nothing below the
installer links it. Usage: check_layers.py SOURCE_DIR
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
}
# What each library may link, by the folder it is built from.
LIBRARIES = {'yamawyrm_shared': 'shared', 'yamawyrm_host': 'host', 'yamawyrm_lha': 'lha',
             'yamawyrm_pack': 'lha', 'yamawyrm_installer': 'installer'}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def main():
    top = sys.argv[1]
    faults = []
    for folder, allowed in MAY_USE.items():
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in files:
                path = os.path.join(root, name)
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if match and match.group(1) != folder and match.group(1) not in allowed:
                            faults.append('%s:%d: %s may not include %s/' % (
                                os.path.relpath(path, top), number, folder, match.group(1)))
    with open(os.path.join(top, 'CMakeLists.txt'), encoding='utf-8') as f:
        cmake = f.read()
    for library, folder in LIBRARIES.items():
        for linked in re.findall(r'target_link_libraries\(\s*%s\s+([^)]*)\)' % library, cmake):
            for other, other_folder in LIBRARIES.items():
                if (other != library and other in linked.split() and other_folder != folder
                        and other_folder not in MAY_USE[folder]):
                    faults.append('CMakeLists.txt: %s may not link %s' % (library, other))
    for fault in faults:
        print(fault)
    print('%d layering faults' % len(faults))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

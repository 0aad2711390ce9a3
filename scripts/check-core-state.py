#!/usr/bin/env python3
"""Checks that the core's libraries hold no mutable state.

    scripts/check-core-state.py LIBRARY.a ...

Lists every object a library defines in a writable section (.data, .bss, .data.rel and their
kind, but not .data.rel.ro, which is read-only once relocated): a namespace-scope,
class-static or function-static object, or the guard of one. Two kinds are Qt's and the
compiler's own and pass: the meta-type records moc writes for each QObject class and the
pointer to the C++ personality routine. Exits 1 when anything else is found.
"""

import re
import subprocess
import sys

WRITABLE = re.compile(r'^\.(data|bss|tdata|tbss)(\.rel(\.local)?)?(\.|$)')
ALLOWED = (
    re.compile(r'QtPrivate::QMetaTypeInterfaceWrapper<.*>::metaType$'),
    re.compile(r'^DW\.ref\.__gxx_personality_v0$'),
)


def objects(library):
    """(section, demangled name) of every object symbol the archive defines."""
    table = subprocess.run(['objdump', '-t', '-C', library], check=True, capture_output=True,
                           text=True).stdout
    for line in table.splitlines():
        fields = line.split(None, 5)
        # value, flags..., section, size, name: the flags column holds 'O' for objects.
        if len(fields) < 5 or ' O ' not in line:
            continue
        section = line.split(' O ')[1].split()[0]
        name = line.split('\t', 1)[1].split(None, 1)[1] if '\t' in line else fields[-1]
        yield section, name.replace('.hidden ', '')


def main(libraries):
    found = []
    for library in libraries:
        for section, name in objects(library):
            if WRITABLE.match(section) and not section.startswith('.data.rel.ro'):
                if not any(rule.search(name) for rule in ALLOWED):
                    found.append(f'{library}: {name} ({section})')
    for line in found:
        print(f'check-core-state: mutable object {line}')
    if not libraries:
        print('check-core-state: no library given', file=sys.stderr)
        return 2
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Checks every include of every C++ file against the README's code map.

    scripts/check-layering.py [SOURCE_DIR]

The "May include" column of the table under "## Code map" is the rule; "the core" in it
means the folders named in the README's sentence that begins "The core is". An include names
its header from the top of the tree ("link/ComSupport.h"): a bare name could be found through
any include folder and a "../" walks around the rule, so both are refused, except the moc file
of the including source. Prints each refused include as FILE:LINE, exits 1 when there is one.
Reads only the sources: it needs no build.
"""

import os
import re
import sys

CPP_SUFFIXES = ('.cpp', '.cc', '.cxx', '.c', '.h', '.hh', '.hpp', '.hxx', '.ipp', '.inl',
                '.h.in')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
FOLDER = re.compile(r'`([A-Za-z0-9_.-]+/(?:[A-Za-z0-9_.-]+/)*)`')


def fail(message):
    print(f'check-layering: {message}', file=sys.stderr)
    sys.exit(2)


def code_map(readme):
    """The code map's section of the README, as lines."""
    lines = readme.splitlines()
    try:
        start = lines.index('## Code map')
    except ValueError:
        fail('README.md has no "## Code map" section')
    section = []
    for line in lines[start + 1:]:
        if line.startswith('## '):
            break
        section.append(line)
    return section


def core_folders(section):
    """The folders of "The core is ..." up to the end of that sentence."""
    text = ' '.join(section)
    match = re.search(r'The core is(.*?\.)(\s|$)', text)
    if not match:
        fail('the code map has no sentence beginning "The core is"')
    folders = FOLDER.findall(match.group(1))
    if not folders:
        fail('the sentence "The core is ..." names no folder')
    return folders


def allowed_includes(section):
    """{folder: [allowed prefixes]} from the table's "May include" column."""
    rows = [line for line in section if line.startswith('|')]
    if not rows:
        fail('the code map has no table')
    header = [cell.strip() for cell in rows[0].strip('|').split('|')]
    try:
        column = header.index('May include')
    except ValueError:
        fail('the code map\'s table has no "May include" column')
    core = core_folders(section)
    rules = {}
    for row in rows[2:]:
        cells = [cell.strip() for cell in row.strip('|').split('|')]
        folder = FOLDER.fullmatch(cells[0])
        if not folder or len(cells) != len(header):
            fail(f'cannot read this row of the code map: {row}')
        cell = cells[column]
        allowed = FOLDER.findall(cell)
        if 'the core' in cell:
            allowed += core
        rules[folder.group(1)] = allowed
    return rules


def sources(root, rules):
    """Every C++ file under the top-level folders, skipping hidden and build folders."""
    for top in sorted(os.listdir(root)):
        path = os.path.join(root, top)
        if top.startswith('.') or not os.path.isdir(path):
            continue
        if os.path.exists(os.path.join(path, 'CMakeCache.txt')):
            continue
        for folder, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if not d.startswith('.'))
            for name in sorted(files):
                if name.endswith(CPP_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root)


def refusal(source, included, rules):
    """Why SOURCE may not include INCLUDED, or None when it may."""
    own = source.split('/')[0] + '/'
    if own not in rules:
        return f'{own} is not in the README\'s code map'
    if included.startswith('/') or '\\' in included:
        return 'name the header from the top of the tree, as "folder/file.h"'
    parts = included.split('/')
    if '..' in parts or '.' in parts:
        return '"../" and "./" walk around the layering: name the header from the top of the tree'
    if len(parts) == 1:
        stem = os.path.basename(source).split('.')[0]
        if included in (f'{stem}.moc', f'moc_{stem}.cpp'):
            return None
        return 'name the header from the top of the tree, as "folder/file.h"'
    if any(included.startswith(prefix) for prefix in rules[own]):
        return None
    allowed = ', '.join(rules[own]) or 'nothing'
    return f'{own} may include {allowed} (README, code map)'


def check(root):
    with open(os.path.join(root, 'README.md'), encoding='utf-8') as readme:
        rules = allowed_includes(code_map(readme.read()))
    folders = {name + '/' for name in os.listdir(root)}
    refused = checked = files = 0
    for source in sources(root, rules):
        files += 1
        with open(os.path.join(root, source), encoding='utf-8', errors='replace') as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                bracket, included = match.groups()
                # <QString> and <vector> are not ours; <link/ComSupport.h> is.
                if bracket == '<' and included.split('/')[0] + '/' not in folders:
                    continue
                checked += 1
                why = refusal(source, included, rules)
                if why:
                    refused += 1
                    print(f'{source}:{number}: #include {bracket}{included}'
                          f'{">" if bracket == "<" else chr(34)}: {why}')
    if refused:
        print(f'layering: {refused} of {checked} includes refused')
        return 1
    print(f'layering: {checked} includes in {files} files, all as the code map allows')
    return 0


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(check(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)))

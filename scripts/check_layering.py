#!/usr/bin/env python3
"""Checks the include layering of the tree.

1. No file outside platform/ includes a Qt header or a header of a library
   that platform/ stands in front of (LittleCMS, SANE, FFmpeg, libcurl, X11).
2. The folders of imaging/ (core with its topical folders, io, formats, view, proc)
   include each other without a cycle.

Usage: check_layering.py [--root DIR] [--cycles-warn]
  --cycles-warn  print include cycles but do not fail on them (the Qt rule
                 still fails).
Exit status 0 when clean, 1 on a violation.
"""
import argparse
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Qt's class headers (<QString>, <QtCore/QString>, <qglobal.h>) and the
# stand-in libraries' headers.
FOREIGN = re.compile(
    r'^(Q[A-Z]\w*$|Qt\w*/|q\w+\.h$|lcms2|sane/|libav\w*/|libsw\w*/|curl/|X11/|JXRGlue)')
SOURCE = re.compile(r'\.(c|cc|cpp|h|hpp)$')
# Folders whose files may include Qt: the platform layer and its own tests.
QT_ALLOWED = ('platform/', 'tests/platform/')
# The compile probe that checks the same rule through the compiler includes
# <QString> on purpose, behind a switch.
QT_PROBES = {'tests/build/layering_probe.cpp'}
SKIP_DIRS = {'build', '.git', '.cache', 'corpus', 'data'}


def sources(root, top):
    base = os.path.join(root, top)
    for folder, dirs, files in os.walk(base):
        dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith('build'))
        for f in sorted(files):
            if SOURCE.search(f):
                path = os.path.join(folder, f)
                yield os.path.relpath(path, root).replace(os.sep, '/')


def includes(root, rel):
    with open(os.path.join(root, rel), encoding='utf-8', errors='replace') as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1), m.group(2)


def imaging_unit(path):
    """imaging/core/color/x.h -> core; imaging/io/acquire/y.h -> io.

    The core's topical folders are one layer cut by subject (the bitmap needs
    its colour conversions and they need the bitmap), so they count as one."""
    parts = path.split('/')
    if len(parts) < 3 or parts[0] != 'imaging':
        return None
    return parts[1]


def strongly_connected(nodes, edges):
    index, low, stack, on_stack, result = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            result.append(sorted(group))

    for v in sorted(nodes):
        if v not in index:
            visit(v)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--root', default=os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
    ap.add_argument('--cycles-warn', action='store_true')
    args = ap.parse_args()
    root = os.path.abspath(args.root)
    failed = False

    tops = [d for d in sorted(os.listdir(root))
            if os.path.isdir(os.path.join(root, d)) and d not in SKIP_DIRS and not d.startswith('.')
            and not d.startswith('build')]
    qt_hits = []
    for top in tops:
        for rel in sources(root, top):
            if rel.startswith(QT_ALLOWED) or rel in QT_PROBES:
                continue
            for number, kind, name in includes(root, rel):
                if kind == '<' and FOREIGN.match(name):
                    qt_hits.append(f'{rel}:{number}: includes <{name}>')
    if qt_hits:
        failed = True
        print('Headers of Qt or of a stand-in library outside platform/:')
        for h in qt_hits:
            print('  ' + h)

    nodes, edges, witness = set(), {}, {}
    for rel in sources(root, 'imaging') if os.path.isdir(os.path.join(root, 'imaging')) else ():
        src = imaging_unit(rel)
        if src is None:
            continue
        nodes.add(src)
        for number, kind, name in includes(root, rel):
            if kind != '"':
                continue
            dst = imaging_unit(name)
            if dst is None or dst == src:
                continue
            nodes.add(dst)
            edges.setdefault(src, set()).add(dst)
            witness.setdefault((src, dst), f'{rel}:{number} includes "{name}"')
    cycles = [g for g in strongly_connected(nodes, edges) if len(g) > 1]
    if cycles:
        print('Include cycles between imaging/ folders:' +
              (' (reported only, --cycles-warn)' if args.cycles_warn else ''))
        for g in cycles:
            print('  ' + ' <-> '.join(g))
            members = set(g)
            for (a, b), w in sorted(witness.items()):
                if a in members and b in members:
                    print(f'    {a} -> {b}: {w}')
        if not args.cycles_warn:
            failed = True

    if not failed:
        print(f'layering: {len(nodes)} imaging folders, no Qt outside platform/, '
              f'{"no cycle" if not cycles else str(len(cycles)) + " cycle(s) reported"}')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/python3
"""Walks the running qmxconfig window from outside, as a screen reader does, over AT-SPI.

On every page of the main window (reached with the keyboard: Tab to the page tabs, then the
arrow key) it checks that
  - every focusable control that shows has a name of its own,
  - no two of them share a name,
  - Tab visits the controls in reading order: the left column top to bottom, the page tabs,
    then the page frame by frame, each frame row by row and left to right; a group of option
    buttons is one stop, at its selected button; disabled controls are passed over.

    accessibility-walk.py LANGUAGE     (LANGUAGE: a label for the report, "ja" or "en")

Keys are sent with xdotool to the window that has the input focus. Exits 1 on a finding.
"""
import subprocess
import sys
import time

import pyatspi

ROW_TOLERANCE_PX = 12  # controls of one row start within this many pixels of each other
PAGES = 5


class Node:
    def __init__(self, acc, ancestors):
        self.acc = acc
        self.role = acc.getRole()
        self.name = (acc.name or "").strip()
        states = acc.getState()
        self.focusable = states.contains(pyatspi.STATE_FOCUSABLE)
        self.showing = states.contains(pyatspi.STATE_SHOWING)
        self.sensitive = states.contains(pyatspi.STATE_SENSITIVE)
        self.checked = states.contains(pyatspi.STATE_CHECKED)
        self.ancestors = ancestors
        self.x = self.y = 0
        if self.focusable and self.showing:
            extents = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            self.x, self.y = extents.x, extents.y

    def focused(self):
        return self.acc.getState().contains(pyatspi.STATE_FOCUSED)

    def __repr__(self):
        return self.name or "<%s without a name>" % self.acc.getRoleName()


def find_window(timeout_s=20):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "qmxconfig":
                for window in app:
                    if window is not None and window.getRole() == pyatspi.ROLE_FRAME:
                        return window
        time.sleep(0.2)
    sys.exit("qmxconfig did not appear on the accessibility bus")


def walk(acc, ancestors=()):
    node = Node(acc, ancestors)
    nodes = [node]
    if node.showing:
        for child in acc:
            if child is not None:
                nodes += walk(child, ancestors + (acc,))
    return nodes


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def focused_among(nodes):
    # The tab row and the tab control around it both say they have the focus: the row counts.
    found = [n for n in nodes if n.focused()]
    found.sort(key=lambda n: n.role != pyatspi.ROLE_PAGE_TAB_LIST)
    return found[0] if found else None


def press_tab(nodes, before):
    key("Tab")
    deadline = time.monotonic() + 1.5
    while time.monotonic() < deadline:
        now = focused_among(nodes)
        if now is not None and now is not before:
            return now
        time.sleep(0.01)
    return focused_among(nodes)


def in_rows(units):
    """Units (position, stop) in reading order: rows top to bottom, each left to right."""
    units = sorted(units, key=lambda u: u[0][1])
    rows = []
    for unit in units:
        if rows and unit[0][1] - rows[-1][0][0][1] <= ROW_TOLERANCE_PX:
            rows[-1].append(unit)
        else:
            rows.append([unit])
    return [u for row in rows for u in sorted(row, key=lambda u: u[0][0])]


def page_stops(controls, page):
    """The page's Tab stops in reading order, frame by frame."""
    frames = {}
    for n in controls:
        frame = n.ancestors[n.ancestors.index(page) + 1] if page in n.ancestors[:-1] else n.acc
        frames.setdefault(frame, []).append(n)
    ordered = []
    frame_places = []
    for frame, members in frames.items():
        units, groups = [], {}
        for n in members:
            if n.role == pyatspi.ROLE_RADIO_BUTTON:
                groups.setdefault(n.ancestors[-1], []).append(n)
            else:
                units.append(((n.x, n.y), n))
        for buttons in groups.values():
            selected = [b for b in buttons if b.checked] or buttons[:1]
            units.append((min((b.x, b.y) for b in buttons), selected[0]))
        place = min(u[0] for u in units)
        frame_places.append(((place[1], place[0]), in_rows(units)))
    for _, units in sorted(frame_places, key=lambda f: f[0]):
        ordered += [stop for _, stop in units]
    return [n for n in ordered if n.sensitive]


def check_page(window, number, language):
    nodes = [n for n in walk(window) if n.focusable and n.showing]
    findings = []
    tab_list = next(n for n in nodes if n.role == pyatspi.ROLE_PAGE_TAB_LIST)
    layered = [n for n in walk(window) if n.role == pyatspi.ROLE_LAYERED_PANE][0].acc
    pages = [n for n in nodes if layered in n.ancestors]
    page = pages[0].ancestors[pages[0].ancestors.index(layered) + 1] if pages else None
    controls = [n for n in nodes if n.role not in (pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_FILLER)]

    unnamed = [n for n in controls + [tab_list] if not n.name]
    # Qt calls the tab row after its selected tab, which a reader announces with the row.
    names = [n.name for n in nodes if n.role not in (pyatspi.ROLE_FILLER,
                                                     pyatspi.ROLE_PAGE_TAB_LIST)]
    duplicates = sorted({name for name in names if name and names.count(name) > 1})
    findings += ["unnamed: %r" % unnamed] if unnamed else []
    findings += ["duplicate names: %s" % duplicates] if duplicates else []

    left = sorted((n for n in controls if n.x < tab_list.x and n.sensitive), key=lambda n: n.y)
    on_page = page_stops([n for n in controls if page in n.ancestors], page) if page else []
    expected = on_page + left + [tab_list]
    visited, now = [], tab_list
    for _ in range(len(expected) + 5):
        now = press_tab(nodes, now)
        visited.append(now)
        if now is tab_list or now is None:
            break
    in_order = [repr(n) for n in visited] == [repr(n) for n in expected]
    if not in_order:
        findings.append("Tab visits %s, reading order is %s" % (visited, expected))

    print("%s page %d: %d focusable controls, %d unnamed, %d duplicate names, Tab %s" % (
        language, number, len(controls), len(unnamed), len(duplicates),
        "in reading order" if in_order else "out of order"))
    for finding in findings:
        print("  FAIL: " + finding)
    return not findings


def main():
    language = sys.argv[1] if len(sys.argv) > 1 else "?"
    window = find_window()
    # No window manager on the virtual display: give the window the input focus directly.
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "QMX-001",
                    "windowfocus", "--sync"], check=True, timeout=10)
    nodes = [n for n in walk(window) if n.focusable and n.showing]
    tab_list = next(n for n in nodes if n.role == pyatspi.ROLE_PAGE_TAB_LIST)
    # To the page tabs with the keyboard alone.
    now = focused_among(nodes)
    for _ in range(10):
        if now is tab_list:
            break
        now = press_tab(nodes, now)
    if now is not tab_list:
        sys.exit("%s: Tab never reaches the page tabs" % language)
    ok = True
    for number in range(PAGES):
        if number:
            key("Right")
            time.sleep(0.2)
        ok = check_page(window, number, language) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

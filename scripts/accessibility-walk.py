#!/usr/bin/python3
"""Walks the running qmxconfig window from outside, as a screen reader does, over AT-SPI.

On every page of the main window (reached with the keyboard: Tab to the page tabs, then the
arrow key), in the Options dialog (both tabs) and in the About box it checks that
  - every focusable control that shows has a name of its own, and no two share one,
  - no part borrows the name of a frame around it (Qt lends a frame's title to unnamed
    parts), and lines have no name at all,
  - no control is reported enabled inside a disabled one, and each page tab reports the
    state of its page,
  - every control on the pages carries the help on its parameter as its description, a
    sentence in the window's language,
  - Tab visits the controls in reading order: the left column top to bottom, the page tabs,
    then the page frame by frame, each frame row by row and left to right; a group of option
    buttons is one stop, at its selected button; disabled controls are passed over.

    accessibility-walk.py LANGUAGE [--pages N]
        LANGUAGE: "ja" or "en", the window's language; N: how many pages can be chosen
        (5 with "/EXT", else 3: the EXTEND pages must then be reported unavailable)

Keys are sent with xdotool to the window that has the input focus. Exits 1 on a finding.
"""
import subprocess
import sys
import time

import pyatspi

ROW_TOLERANCE_PX = 12  # controls of one row start within this many pixels of each other
PAGES = 5
DIALOG_KEYS = {"Options": ["alt+t", "o"], "About": ["alt+h", "a"]}


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
        self.description = (acc.description or "").strip()
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


def walk(acc, ancestors=(), everything=False):
    node = Node(acc, ancestors)
    nodes = [node]
    if node.showing or everything:
        for child in acc:
            if child is not None:
                nodes += walk(child, ancestors + (acc,), everything)
    return nodes


def tree_findings(window):
    """Borrowed names, named lines and enabled states the tree contradicts, in the whole
    window, shown or not."""
    findings = []
    nodes = walk(window, everything=True)
    for n in nodes:
        names = [(a.name or "").strip() for a in n.ancestors]
        if n.name and n.name in names and n.role != pyatspi.ROLE_LABEL:
            findings.append("%r borrows the name of a frame around it" % n)
        if n.role == pyatspi.ROLE_SEPARATOR and n.name:
            findings.append("a line is named %r" % n.name)
        if n.sensitive and any(not a.getState().contains(pyatspi.STATE_SENSITIVE)
                               for a in n.ancestors[1:]):
            findings.append("%r is reported enabled inside a disabled control" % n)
    for tab_list in (n for n in nodes if n.role == pyatspi.ROLE_PAGE_TAB_LIST):
        tabs = [t for t in tab_list.acc if t is not None and t.getRole() == pyatspi.ROLE_PAGE_TAB]
        panes = [n.acc for n in nodes if n.role == pyatspi.ROLE_LAYERED_PANE
                 and tab_list.ancestors and n.ancestors[-1] == tab_list.ancestors[-1]]
        pages = [p for p in panes[0]] if panes else []
        for tab, page in zip(tabs, pages):
            tab_on = tab.getState().contains(pyatspi.STATE_SENSITIVE)
            if tab_on != page.getState().contains(pyatspi.STATE_SENSITIVE):
                findings.append("tab %r is reported %s, its page is not" % (
                    tab.name, "enabled" if tab_on else "disabled"))
    return findings


def names_findings(nodes):
    """Focusable controls without a name, or with one another control has too."""
    unnamed = [n for n in nodes if not n.name]
    names = [n.name for n in nodes if n.name]
    duplicates = sorted({name for name in names if names.count(name) > 1})
    return (["unnamed: %r" % unnamed] if unnamed else []) + \
        (["duplicate names: %s" % duplicates] if duplicates else [])


def help_findings(controls, language):
    """A control on a page without the help on its parameter in the window's language."""
    findings = []
    for n in controls:
        text = n.description
        sentence = text.endswith("。" if language == "ja" else ".")
        japanese = any("\u3040" <= c <= "\u30ff" for c in text)
        if not sentence or japanese != (language == "ja"):
            findings.append("%r has no help in %s: %r" % (n, language, text))
    return findings


def focus_main_window():
    # No window manager on the virtual display: give the window the input focus directly.
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "QMX-001",
                    "windowfocus", "--sync"], check=True, timeout=10)


def key(*names):
    subprocess.run(["xdotool", "key", *names], check=True)


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
    findings += names_findings(controls + [n for n in nodes if n.role == pyatspi.ROLE_PAGE_TAB])
    findings += help_findings([n for n in controls if page in n.ancestors], language)

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

    print("%s page %d: %d focusable controls, Tab %s, %d findings" % (
        language, number, len(controls), "in reading order" if in_order else "out of order",
        len(findings)))
    for finding in findings:
        print("  FAIL: " + finding)
    return not findings


def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def check_dialog(app, main_window, title, language):
    """Opens the dialog from the main window's menu, walks each of its tabs, closes it."""
    focus_main_window()
    key(*DIALOG_KEYS[title])
    deadline = time.monotonic() + 10
    dialog = None
    while dialog is None and time.monotonic() < deadline:
        time.sleep(0.1)
        dialog = next((w for w in app if w is not None and w != main_window and
                       w.getState().contains(pyatspi.STATE_SHOWING)), None)
    if dialog is None:
        print("%s %s: FAIL: did not open" % (language, title))
        return False
    findings = tree_findings(dialog)
    tabs = [n.acc for n in walk(dialog) if n.role == pyatspi.ROLE_PAGE_TAB] or [None]
    for tab in tabs:
        if tab is not None:
            press(tab)
            time.sleep(0.3)
        shown = [n for n in walk(dialog) if n.focusable and n.showing]
        findings += names_findings([n for n in shown if n.role != pyatspi.ROLE_FILLER])
    print("%s %s: %d findings" % (language, title, len(findings)))
    for finding in findings:
        print("  FAIL: " + finding)
    key("Escape")
    time.sleep(0.3)
    return not findings


def main():
    language = sys.argv[1] if len(sys.argv) > 1 else "?"
    pages = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--pages" else PAGES
    window = find_window()
    app = window.getApplication()
    focus_main_window()
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
    findings = tree_findings(window)
    for finding in findings:
        print("  FAIL: " + finding)
    ok = not findings
    for number in range(pages):
        if number:
            key("Right")
            time.sleep(0.2)
        ok = check_page(window, number, language) and ok
    for title in DIALOG_KEYS:
        ok = check_dialog(app, window, title, language) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

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
    buttons is one stop, at its selected button; disabled controls are passed over,
  - the Edit menu opens with the menu bar's mnemonic, and its Undo and Redo have names and
    keys and are reported disabled, nothing being undoable yet.

With --state, COM 1 is a simulated controller started from that state file, whose values
differ from the factory ones. Connected, loaded, then with the origin offset typed anew, it
checks that
  - nothing is reported changed after LOAD; after the edit only the box is: its description
    is its help, then the changed text naming the controller's value; only its page's tab
    tells it in its tooltip, under the same caption; the mark over the box is neither
    focusable nor named, and nothing borrows a name,
  - the Edit menu's Undo is enabled and names the box; Undo's and Redo's keys take the mark
    away and bring it back,
  - Compare with QMX-001 (from the Tools menu by keyboard) holds Undo while it reads, then
    says that nothing differs, or, after the edit, shows a table with the column headers and
    the differing row as its cells; Tab reaches OK, which closes it,
  - Exit asks before the edit is lost, in an alert whose No, reached with Tab and pressed with
    Space, keeps the window.

    accessibility-walk.py LANGUAGE [--pages N] [--state FILE]
        LANGUAGE: "ja" or "en", the window's language; N: how many pages can be chosen
        (5 with "/EXT", else 3: the EXTEND pages must then be reported unavailable);
        FILE: the simulated controller's state, "CODE=VALUE" lines; N= (the origin offset)
        must differ from the factory value 0 and from EDITED_OFFSET

Keys are sent with xdotool to the window that has the input focus. Exits 1 on a finding.
"""
import argparse
import re
import subprocess
import sys
import time

import pyatspi

ROW_TOLERANCE_PX = 12  # controls of one row start within this many pixels of each other
PAGES = 5
DIALOG_KEYS = {"Options": ["alt+t", "o"], "About": ["alt+h", "a"]}
EDIT_MENU_KEYS = ["alt+e"]
COMPARE_KEYS = ["alt+t", "c"]
EXIT_KEYS = ["alt+f", "x"]
EDITED_OFFSET = "500"  # typed into the origin offset box
WAIT_S = 15  # for a connect, a load or a compare to end

# What the window says, in each language.
TEXTS = {
    "ja": {
        "edit menu": "編集(E)",
        "connect": "接続",
        "load": "設定値読出",
        "offset": "原点オフセット",  # the end of the box's name, the parameter in the table
        "changed": "変更あり。QMX-001の値：",
        "page changed": "このページには、QMX-001の値と異なる設定値があります。",
        "none differ": "QMX-001はウィンドウに表示されている値を保持しています。",
        "table": "QMX-001と異なる設定値",
        "headers": ["設定項目", "ウィンドウの値", "QMX-001の値", "単位"],
        "no": ("いいえ", "いいえ(N)"),
    },
    "en": {
        "edit menu": "Edit",
        "connect": "CONNECT",
        "load": "LOAD",
        "offset": "OFFSET of ORIGIN",
        "changed": "changed; the controller holds ",
        "page changed": "Values on this page differ from those the controller holds.",
        "none differ": "The controller holds what the window shows.",
        "table": "Parameters that differ from the controller",
        "headers": ["Parameter", "Window", "Controller", "Unit"],
        "no": ("No",),
    },
}


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


def help_finding(control, text, language):
    """A control whose help on its parameter is no sentence in the window's language."""
    sentence = text.endswith("。" if language == "ja" else ".")
    japanese = any("\u3040" <= c <= "\u30ff" for c in text)
    if not sentence or japanese != (language == "ja"):
        return "%r has no help in %s: %r" % (control, language, text)
    return None


def help_findings(controls, language):
    """The controls on a page without the help on their parameter in the window's language."""
    found = (help_finding(n, n.description, language) for n in controls)
    return [finding for finding in found if finding]


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


def has(acc, state):
    return acc.getState().contains(state)


def wait_until(condition, timeout_s):
    """condition's first true value, polled until timeout_s; its last value then."""
    deadline = time.monotonic() + timeout_s
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.02)


def focus_window(title):
    # As a window manager would: a dialog opened without a key press of its own (Compare opens
    # when the reading ends) gets the input focus directly.
    pattern = "^" + re.sub(r"([][.*+?{}()|^$\\])", r"\\\1", title) + "$"
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", pattern,
                    "windowfocus", "--sync"], check=True, timeout=10)


def new_window(app, main_window, timeout_s):
    return wait_until(lambda: next((w for w in app if w is not None and w != main_window and
                                    has(w, pyatspi.STATE_SHOWING)), None), timeout_s)


def find_node(acc, role, name_test=lambda name: True):
    return next((n for n in walk(acc, everything=True)
                 if n.role == role and name_test(n.name)), None)


def report(title, findings):
    print("%s: %d findings" % (title, len(findings)))
    for finding in findings:
        print("  FAIL: " + finding)
    return not findings


def edit_entries(window, language):
    """The Edit menu's popup and its entries (Undo, Redo), shown or not."""
    bar = find_node(window, pyatspi.ROLE_MENU_BAR)
    menu = next((m for m in bar.acc if m is not None and
                 m.name == TEXTS[language]["edit menu"]), None)
    if menu is None or not menu.childCount:
        return None, []
    popup = menu[0]
    return popup, [e for e in popup if e is not None and e.getRole() == pyatspi.ROLE_MENU_ITEM]


def check_edit_menu(window, language, control=None):
    """Opens the Edit menu with its mnemonic. control: the name Undo must tell, or None while
    nothing can be undone."""
    popup, entries = edit_entries(window, language)
    if popup is None or len(entries) != 2:
        return report("%s Edit menu" % language, ["no Edit menu with Undo and Redo"])
    findings = []
    focus_main_window()
    key(*EDIT_MENU_KEYS)
    if not wait_until(lambda: has(popup, pyatspi.STATE_SHOWING), 3):
        findings.append("%s does not open the Edit menu" % "+".join(EDIT_MENU_KEYS))
    for entry in entries:
        if not entry.name or not entry.queryAction().getKeyBinding(0):
            findings.append("Edit entry %r lacks a name or its key" % entry.name)
    undo, redo = entries
    if has(redo, pyatspi.STATE_SENSITIVE):
        findings.append("%r is reported enabled with nothing to redo" % redo.name)
    if control is None and has(undo, pyatspi.STATE_SENSITIVE):
        findings.append("%r is reported enabled with nothing to undo" % undo.name)
    if control is not None:
        if not has(undo, pyatspi.STATE_SENSITIVE) or not undo.name.endswith(" " + control):
            findings.append("after an edit of %r, Undo is %r, %s" % (
                control, undo.name, "enabled" if has(undo, pyatspi.STATE_SENSITIVE)
                else "disabled"))
        elif not has(undo, pyatspi.STATE_FOCUSED):
            findings.append("the open Edit menu does not put the keyboard on %r" % undo.name)
    key("Escape", "Escape")  # the menu, then the menu bar
    if not wait_until(lambda: not has(popup, pyatspi.STATE_SHOWING), 3):
        findings.append("Escape does not close the Edit menu")
    return report("%s Edit menu (%s)" % (language, "after an edit" if control else "at start"),
                  findings)


def is_mark(node):
    """A change mark: the only children a control on a page has."""
    parent = node.ancestors[-1] if node.ancestors else None
    return parent is not None and has(parent, pyatspi.STATE_FOCUSABLE) and \
        parent.getRole() not in (pyatspi.ROLE_PAGE_TAB_LIST, pyatspi.ROLE_MENU_ITEM,
                                 pyatspi.ROLE_MENU_BAR)


def page_tabs(window):
    tab_list = find_node(window, pyatspi.ROLE_PAGE_TAB_LIST)
    return [t for t in tab_list.acc if t is not None and t.getRole() == pyatspi.ROLE_PAGE_TAB]


def changes_findings(window, language, captions, box=None, value=None):
    """What the window reports changed must be nothing, or with box the box alone, naming the
    controller's value, and the first page's tab, under its caption."""
    texts = TEXTS[language]
    nodes = walk(window, everything=True)
    findings = ["%r is reported changed: %r" % (n, n.description) for n in nodes
                if texts["changed"] in n.description and n.acc != box]
    marks = [n for n in nodes if is_mark(n)]
    for mark in marks:
        if mark.name or mark.focusable:
            findings.append("a mark over %r is %s" % (
                mark.ancestors[-1].name, "named %r" % mark.name if mark.name else "focusable"))
    if box is not None:
        help_text, changed, told = box.description.partition(" " + texts["changed"])
        if not changed or told != value:
            findings.append("%r does not tell the controller's %s: %r" % (
                box.name, value, box.description))
        findings.append(help_finding(box.name, help_text, language))
    marked = [m.ancestors[-1].name for m in marks]
    if marked != ([box.name] if box else []):
        findings.append("marks over %s" % (marked or "nothing"))
    for number, tab in enumerate(page_tabs(window)):
        tip = texts["page changed"] if box is not None and number == 0 else ""
        if tab.description != tip or tab.name != captions[number]:
            findings.append("tab %r (was %r) tells %r" % (tab.name, captions[number],
                                                          tab.description))
    return [finding for finding in findings if finding]


def connect_and_load(window, texts, box, value):
    buttons = {n.name: n.acc for n in walk(window, everything=True)
               if n.role == pyatspi.ROLE_PUSH_BUTTON}
    connect, load = buttons.get(texts["connect"]), buttons.get(texts["load"])
    if connect is None or load is None:
        return "no %s or %s button" % (texts["connect"], texts["load"])
    press(connect)
    if not wait_until(lambda: has(load, pyatspi.STATE_SENSITIVE), WAIT_S):
        return "the window did not connect to the simulated controller"
    press(load)
    if not wait_until(lambda: box.queryText().getText(0, -1) == value and
                      has(load, pyatspi.STATE_SENSITIVE) and has(box, pyatspi.STATE_SENSITIVE),
                      WAIT_S):
        return "LOAD did not bring the controller's %s" % value
    return None


def edit_box(box, text, phrase):
    """Types text into box and moves on, as the operator does."""
    focus_main_window()
    box.queryComponent().grabFocus()
    wait_until(lambda: has(box, pyatspi.STATE_FOCUSED), 2)
    key("ctrl+a")
    subprocess.run(["xdotool", "type", text], check=True)
    key("Tab")
    wait_until(lambda: phrase in (box.description or ""), 3)


def close_with_ok(dialog):
    ok = find_node(dialog, pyatspi.ROLE_PUSH_BUTTON, lambda name: name == "OK")
    if ok is None:
        return ["no OK button"]
    for _ in range(4):
        if has(ok.acc, pyatspi.STATE_FOCUSED):
            break
        key("Tab")
        wait_until(lambda: has(ok.acc, pyatspi.STATE_FOCUSED), 0.5)
    else:
        key("Escape")
        return ["Tab never reaches OK"]
    key("space")
    if not wait_until(lambda: not has(dialog, pyatspi.STATE_SHOWING), 3):
        return ["OK does not close the dialog"]
    return []


def table_findings(table, texts, row):
    if table is None:
        return ["no table of the differences shows"]
    findings = [] if table.name == texts["table"] else ["the table is named %r" % table.name]
    cells = table.acc.queryTable()
    headers = [cells.getColumnHeader(c) for c in range(cells.nColumns)]
    headers = [header.name if header else "" for header in headers]
    if headers != texts["headers"]:
        findings.append("the table's columns are headed %s" % headers)
    rows = [[cells.getAccessibleAt(r, c).name for c in range(cells.nColumns)]
            for r in range(cells.nRows)]
    if rows != [row]:
        findings.append("the table's rows are %s, not %s" % (rows, [row]))
    return findings


def open_compare(app, window, undo):
    """Compare from the Tools menu by keyboard: its dialog once the controller is read, and
    whether Undo, enabled before, was reported disabled meanwhile."""
    focus_main_window()
    key(*COMPARE_KEYS)
    held = []

    def dialog_shown():
        held.append(not has(undo, pyatspi.STATE_SENSITIVE))
        return next((w for w in app if w is not None and w != window and
                     has(w, pyatspi.STATE_SHOWING)), None)
    return wait_until(dialog_shown, WAIT_S), any(held)


def check_compare(app, window, language, row=None):
    """Compare, while nothing differs (row None) or with row the cells of the one row that
    does; Undo is held while the controller is read."""
    texts = TEXTS[language]
    title = "%s Compare (%s)" % (language, "one differs" if row else "none differ")
    _, (undo, _) = edit_entries(window, language)
    dialog, held = open_compare(app, window, undo)
    if dialog is None:
        return report(title, ["%s opened no dialog" % "+".join(COMPARE_KEYS)])
    findings = [] if held else ["%r is reported enabled while Compare reads" % undo.name]
    focus_window(dialog.name)
    findings += tree_findings(dialog)
    shown = [n for n in walk(dialog) if n.showing]
    table = next((n for n in shown if n.role == pyatspi.ROLE_TABLE), None)
    if row is None:
        findings += ["a table shows while nothing differs"] if table else []
        if texts["none differ"] not in [n.name for n in shown if n.role == pyatspi.ROLE_LABEL]:
            findings.append("the dialog does not say %r" % texts["none differ"])
    else:
        findings += table_findings(table, texts, row)
    findings += close_with_ok(dialog)
    if not has(undo, pyatspi.STATE_SENSITIVE):
        findings.append("%r stays disabled after Compare" % undo.name)
    return report(title, findings)


def answer_no(question, language):
    """Tab to the question's No button and Space; findings."""
    no = find_node(question, pyatspi.ROLE_PUSH_BUTTON, lambda n: n in TEXTS[language]["no"])
    for _ in range(3):
        if no is None or has(no.acc, pyatspi.STATE_FOCUSED):
            break
        key("Tab")
        wait_until(lambda: has(no.acc, pyatspi.STATE_FOCUSED), 0.5)
    if no is None or not has(no.acc, pyatspi.STATE_FOCUSED):
        key("Escape")
        return ["Tab never reaches a No button"]
    key("space")
    if not wait_until(lambda: not has(question, pyatspi.STATE_SHOWING), 3):
        return ["the question stays after No"]
    return []


def check_exit_question(app, window, language):
    """Exit with an edit neither stored nor saved asks; No, by keyboard, keeps the window."""
    title = "%s Exit question" % language
    focus_main_window()
    key(*EXIT_KEYS)
    try:
        question = new_window(app, window, 5)
    except Exception:  # the program is gone from the bus
        return report(title, ["Exit quit without asking, with an edit neither stored nor saved"])
    if question is None:
        return report(title, ["Exit asks nothing with an edit neither stored nor saved"])
    focus_window(question.name)
    findings = [] if question.getRole() == pyatspi.ROLE_ALERT else ["the question is no alert"]
    findings += answer_no(question, language)
    time.sleep(0.3)  # a window that closes after No would go in this time
    try:
        stays = has(window, pyatspi.STATE_SHOWING)
    except Exception:
        stays = False
    if not stays:
        findings.append("the window closed after No")
    return report(title, findings)


def check_changes(app, window, language, value):
    """The change marks, the Edit menu, Compare and the Exit question, on a window connected to
    a simulated controller whose origin offset is value."""
    texts = TEXTS[language]
    box = find_node(window, pyatspi.ROLE_TEXT, lambda name: name.endswith(texts["offset"]))
    captions = [tab.name for tab in page_tabs(window)]
    failed = connect_and_load(window, texts, box.acc, value)
    if failed:
        return report("%s change marks" % language, [failed])
    ok = report("%s change marks after LOAD" % language,
                tree_findings(window) + changes_findings(window, language, captions))
    ok = check_compare(app, window, language) and ok
    edit_box(box.acc, EDITED_OFFSET, texts["changed"])
    ok = report("%s change marks after an edit" % language,
                tree_findings(window) +
                changes_findings(window, language, captions, box.acc, value)) and ok
    ok = check_edit_menu(window, language, box.name) and ok
    ok = check_compare(app, window, language, [texts["offset"], EDITED_OFFSET, value, ""]) and ok
    ok = check_undo_keys(window, language, box.acc, value, captions) and ok
    return check_exit_question(app, window, language) and ok


def check_undo_keys(window, language, box, value, captions):
    """Undo's and Redo's keys take the mark away and bring it back."""
    texts = TEXTS[language]
    _, (_, redo) = edit_entries(window, language)
    focus_main_window()
    key("ctrl+z")
    wait_until(lambda: texts["changed"] not in box.description, 3)
    findings = ["after Ctrl+Z: " + f for f in changes_findings(window, language, captions)]
    if not has(redo, pyatspi.STATE_SENSITIVE) or not redo.name.endswith(" " + box.name):
        findings.append("after Ctrl+Z, Redo is %r" % redo.name)
    key("ctrl+shift+z")
    wait_until(lambda: texts["changed"] in box.description, 3)
    findings += ["after Ctrl+Shift+Z: " + f
                 for f in changes_findings(window, language, captions, box, value)]
    return report("%s Undo and Redo keys" % language, findings)


def offset_in(state_file):
    """The origin offset ("N=") the simulated controller holds."""
    with open(state_file, encoding="ascii") as f:
        values = dict(line.strip().split("=", 1) for line in f if "=" in line)
    if values.get("N", "0").strip() in ("0", EDITED_OFFSET):
        sys.exit("%s: the origin offset N must differ from 0 and %s" % (state_file,
                                                                        EDITED_OFFSET))
    return values["N"].strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("language", choices=TEXTS)
    parser.add_argument("--pages", type=int, default=PAGES)
    parser.add_argument("--state")
    args = parser.parse_args()
    language = args.language
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
    for number in range(args.pages):
        if number:
            key("Right")
            time.sleep(0.2)
        ok = check_page(window, number, language) and ok
    for title in DIALOG_KEYS:
        ok = check_dialog(app, window, title, language) and ok
    ok = check_edit_menu(window, language) and ok
    if args.state:
        ok = check_changes(app, window, language, offset_in(args.state)) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Takes the pictures of the running qmxconfig for docs/ (run by scripts/take-pictures.sh).

    window-pictures.py LANGUAGE SCREEN_FILE OUT_DIR

LANGUAGE is "ja" or "en", SCREEN_FILE the virtual display's frame buffer (Xvfb -fbdir, XWD
format). Pictures: the Options dialog and the About box, then, connected to the controller,
each of the five pages, and after LOAD the first page with two values changed (the run current
and the origin offset), their fields and the page's tab marked: OUT_DIR/options-LANGUAGE.png,
about-LANGUAGE.png, window-LANGUAGE-page0.png ... page4.png, window-LANGUAGE-marked.png.
"""
import struct
import subprocess
import sys
import time
import zlib

import pyatspi

SETTLE_S = 0.6  # for the window to draw what changed
RUN_CURRENT_MA = 500  # the changed values of the marked picture
ORIGIN_OFFSET = "1500"
main_id = None  # the main window's X window


def find_app(timeout_s=20):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "qmxconfig" and app.childCount:
                return app
        time.sleep(0.2)
    sys.exit("qmxconfig did not appear on the accessibility bus")


def shown_windows(app):
    return [w for w in app if w is not None and w.getState().contains(pyatspi.STATE_SHOWING)]


def find_where(acc, matches):
    """The first accessible in the tree below acc (acc too) that matches."""
    if matches(acc):
        return acc
    for child in acc:
        if child is not None:
            found = find_where(child, matches)
            if found is not None:
                return found
    return None


def find(acc, role, names=None):
    return find_where(acc, lambda a: a.getRole() == role and (names is None or a.name in names))


def find_named(acc, role, endings):
    """The first control of that role whose name ends with one of endings."""
    return find_where(acc, lambda a: a.getRole() == role and (a.name or "").endswith(endings))


def key(*names):
    subprocess.run(["xdotool", "key", *names], check=True)


def read_screen(path):
    """The frame buffer as (width, height, rows of RGB bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    bits_per_pixel, bytes_per_line, colours = fields[11], fields[12], fields[19]
    if bits_per_pixel != 32:
        sys.exit("the virtual display must have 24-bit colour")
    start = header_size + 12 * colours
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
        rgb = bytearray(3 * width)  # the frame buffer holds B, G, R, unused
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def picture(window, screen, path):
    time.sleep(SETTLE_S)
    box = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    _, _, rows = read_screen(screen)
    crop = [row[3 * box.x:3 * (box.x + box.width)] for row in rows[box.y:box.y + box.height]]
    write_png(path, box.width, box.height, crop)
    print("  " + path)


def focus_window(window_id):
    # No window manager on the virtual display: the input focus is given directly.
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True, timeout=10)


def dialog_picture(app, main, keys, screen, path):
    focus_window(main_id)
    key(*keys)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        others = [w for w in shown_windows(app) if w != main]
        if others:
            picture(others[0], screen, path)
            key("Escape")
            time.sleep(SETTLE_S)
            return
        time.sleep(0.1)
    sys.exit("no dialog after " + " ".join(keys))


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def main():
    language, screen, out = sys.argv[1:4]
    app = find_app()
    main_window = shown_windows(app)[0]
    global main_id
    subprocess.run(["xdotool", "mousemove", "2000", "2000"], check=True)  # out of the pictures
    main_id = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "QMX-001"],
                             check=True, timeout=10, capture_output=True,
                             text=True).stdout.split()[0]
    dialog_picture(app, main_window, ["alt+t", "o"], screen, "%s/options-%s.png" % (out, language))
    dialog_picture(app, main_window, ["alt+h", "a"], screen, "%s/about-%s.png" % (out, language))

    press(find(main_window, pyatspi.ROLE_PUSH_BUTTON, ("接続", "CONNECT")))
    load = find(main_window, pyatspi.ROLE_PUSH_BUTTON, ("設定値読出", "LOAD"))
    deadline = time.monotonic() + 30
    while not load.getState().contains(pyatspi.STATE_SENSITIVE):
        if time.monotonic() > deadline:
            sys.exit("the window did not connect to the simulated controller")
        time.sleep(0.2)
    tabs = find(main_window, pyatspi.ROLE_PAGE_TAB_LIST)
    pages = [tab for tab in tabs if tab.getRole() == pyatspi.ROLE_PAGE_TAB]
    for number, tab in enumerate(pages):
        press(tab)
        picture(main_window, screen, "%s/window-%s-page%d.png" % (out, language, number))

    press(pages[0])
    load_and_change(main_window, load)
    picture(main_window, screen, "%s/window-%s-marked.png" % (out, language))


def load_and_change(main_window, load):
    """LOAD, then two values on the first page changed as the operator changes them: the run
    current by its slider, the origin offset typed into its box; the window marks both."""
    store = find(main_window, pyatspi.ROLE_PUSH_BUTTON, ("設定値書込", "STORE"))
    press(load)
    deadline = time.monotonic() + 30
    # STORE is held while the controller is read (for over a second), then enabled again.
    for held in (True, False):
        while store.getState().contains(pyatspi.STATE_SENSITIVE) == held:
            if time.monotonic() > deadline:
                sys.exit("LOAD did not %s" % ("start" if held else "end"))
            time.sleep(0.02)
    run = find_named(main_window, pyatspi.ROLE_SLIDER, ("駆動(RUN)電流, mA", "RUN, mA"))
    run.queryValue().currentValue = RUN_CURRENT_MA
    box = find_named(main_window, pyatspi.ROLE_TEXT, ("原点オフセット", "OFFSET of ORIGIN"))
    focus_window(main_id)
    box.queryComponent().grabFocus()
    key("ctrl+a")
    subprocess.run(["xdotool", "type", ORIGIN_OFFSET], check=True)
    key("Tab")
    # The marks show once the box has taken the entry.
    while not box.childCount:
        if time.monotonic() > deadline:
            sys.exit("the window marked no change")
        time.sleep(0.1)


if __name__ == "__main__":
    main()

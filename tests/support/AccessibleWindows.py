#!/usr/bin/python3
# Prints, as JSON, every top-level window the programs on this display show,
# read through the accessibility bus as a screen reader reads it: the
# program's process, the window's role, caption and place on the screen, and
# the role, name, text and place of every control shown in it. Web documents
# are listed but not entered: the store pages are not what the tests read.
import json

import pyatspi


def extents(acc):
    try:
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return [e.x, e.y, e.width, e.height]
    except Exception:
        return [0, 0, 0, 0]


def text(acc):
    try:
        return acc.queryText().getText(0, -1)
    except Exception:
        return ""


def showing(acc):
    try:
        return acc.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def children(acc):
    try:
        count = acc.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            yield child


def controls(acc, out, depth):
    for child in children(acc):
        if not showing(child):
            continue
        try:
            role = child.getRoleName()
            name = child.name or ""
        except Exception:
            continue
        out.append({"role": role, "name": name, "text": text(child), "box": extents(child)})
        if role != "document web" and depth < 40:
            controls(child, out, depth + 1)


windows = []
for app in children(pyatspi.Registry.getDesktop(0)):
    try:
        pid = app.get_process_id()
    except Exception:
        continue
    for window in children(app):
        if not showing(window):
            continue
        try:
            role = window.getRoleName()
            caption = window.name or ""
        except Exception:
            continue
        items = []
        controls(window, items, 0)
        windows.append({"pid": pid, "role": role, "caption": caption,
                        "box": extents(window), "items": items})
print(json.dumps(windows, ensure_ascii=False))

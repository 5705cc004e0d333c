"""What a screen reader finds in Ondril's windows, over AT-SPI."""
import sys
import time

import pyatspi


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, role, name=None):
    for node in walk(root):
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
    return None


def expect(what, ok):
    if not ok:
        print("FAIL:", what)
        sys.exit(1)


def application():
    for _ in range(50):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "Ondril" and find(app, "frame", "Ondril: Readings"):
                return app
        time.sleep(0.2)
    return None


app = application()
expect("the Readings window, opened by keys, as a window", app is not None)
readings = find(app, "frame", "Ondril: Readings")
main = find(app, "frame", "Brivon Electronic Balance Communications Test")

replies = find(readings, "table", "Replies per command")
expect("the replies as a table", replies is not None)
table = replies.queryTable()
header = [table.getColumnDescription(c) or table.getColumnHeader(c).name for c in range(table.nColumns)]
row = [table.getAccessibleAt(0, c).name for c in range(table.nColumns)]
print("replies table:", dict(zip(header, row)))
expect("PRINT's row counts 3 replies", row[0] == "PRINT" and row[header.index("replies")] == "3")

trend = find(readings, "filler", "Trend")
expect("the trend described in words", trend is not None and "3 readings shown" in trend.description)
print("trend:", trend.description)

journal = find(main, "check box", "Keep a journal")
expect("Keep a journal as a check box, checked", journal is not None and journal.getState().contains(pyatspi.STATE_CHECKED))

unnamed = []
for window in (main, readings):
    for node in walk(window):
        states = node.getState()
        if not states.contains(pyatspi.STATE_FOCUSABLE) or not states.contains(pyatspi.STATE_SHOWING):
            continue
        if node.getRoleName() in ("list item", "table cell", "list"):
            continue  # named by their text, or parts of a box
        labelled = any(r.getRelationType() == pyatspi.RELATION_LABELLED_BY for r in node.getRelationSet())
        if not node.name.strip() and not labelled:
            unnamed.append(node.getRoleName())
expect("a name for every control: unnamed " + ", ".join(unnamed), not unnamed)
print("every focusable control is named")

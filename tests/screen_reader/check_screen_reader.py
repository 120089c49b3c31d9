# SPDX-License-Identifier: GPL-3.0-or-later
"""What a screen reader hears from zelk, asked over the accessibility bus (AT-SPI) as Orca asks:
the project form's fields by their labels, and the hex editor as a table whose focused cell
follows the caret and says the byte's address and value.

Run inside a D-Bus session of its own with the system's Python, which has pyatspi:
    dbus-run-session -- /usr/bin/python3 check_screen_reader.py ZELK FOLDER
"""
import os
import subprocess
import sys
import time

zelk, folder = sys.argv[1], sys.argv[2]
processes = []


def start(command, **options):
    process = subprocess.Popen(command, **options)
    processes.append(process)
    return process


def fail(text):
    print("FAIL: " + text, file=sys.stderr)
    sys.exit(1)


def wait_for(what, find, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.2)
    fail("no " + what + " within " + str(seconds) + " s")


try:
    # The accessibility bus, then the display: Qt asks for the bus when it starts.
    start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp"], pass_fds=[write_end])
    os.close(write_end)
    display = b""
    while not display.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            fail("Xvfb did not start")
        display += chunk
    os.environ["DISPLAY"] = ":" + display.decode().strip()
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    os.environ["XDG_STATE_HOME"] = folder
    os.environ["XDG_CONFIG_HOME"] = folder
    project = os.path.join(folder, "board.prj")
    with open(project, "w") as file:
        file.write("[zelk Project]\nProjectName=Board\nComment=None\n")
    start([zelk, "--simulate", "ATtiny13", project], cwd=folder)

    import pyatspi
    from gi.repository import GLib

    def children(node):
        try:
            return [node.getChildAtIndex(i) for i in range(node.childCount)]
        except Exception:
            return []

    def find(node, matches):
        """Depth first, not into tables: a table's children are its bytes."""
        if node is None:
            return None
        if matches(node):
            return node
        if node.getRoleName() == "table":
            return None
        for child in children(node):
            found = find(child, matches)
            if found is not None:
                return found
        return None

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == "zelk":
                return app
        return None

    app = wait_for("zelk on the accessibility bus", application)
    # The start-up picture takes the first key that reaches zelk while it shows.
    wait_for("the start-up picture to close",
             lambda: all(window.getRoleName() == "frame" for window in children(app)))

    for name in ("Project Title", "Comments"):
        field = wait_for("field " + name, lambda: find(
            app, lambda node: node.name == name and node.getRoleName() in ("text", "entry")))
        print("field:", field.getRoleName(), repr(field.name))

    table = wait_for("hex table", lambda: find(app, lambda node: node.getRoleName() == "table"))
    cells = table.queryTable()
    print("table:", cells.nRows, "rows,", cells.nColumns, "columns")
    if cells.nColumns != 16:
        fail("the hex table has %d columns, not 16" % cells.nColumns)
    first = cells.getAccessibleAt(0, 0)
    if first.name != "0x00000000: 0xFF = 255":
        fail("the first byte reads %r" % first.name)

    loop = GLib.MainLoop()
    listening = {"for": None, "heard": []}

    def on_focus(event):
        if event.detail1 == 1 and event.source is not None:
            listening["heard"].append(event.source.name)
            if event.source.name == listening["for"]:
                loop.quit()

    def hear(keys, name):
        """Presses the keys and waits until a cell that takes the focus says `name`."""
        listening["for"] = name
        listening["heard"] = []
        GLib.timeout_add(300, lambda: subprocess.run(["xdotool", "key"] + keys) and False)
        give_up = GLib.timeout_add(15000, loop.quit)
        loop.run()
        heard = listening["heard"]
        if name not in heard:
            fail("after %s the screen reader heard %r, not %r" % (" ".join(keys), heard, name))
        GLib.source_remove(give_up)
        print("heard after " + " ".join(keys) + ": " + name)

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    # A key pressed before the grid holds the focus would reach another control: wait for it.
    table.queryComponent().grabFocus()
    wait_for("the keyboard focus on the hex table",
             lambda: table.getState().contains(pyatspi.STATE_FOCUSED), seconds=10)
    hear(["Down"], "0x00000010: 0xFF = 255")
    hear(["7"], "0x00000010: 0x7F = 127")
    print("PASS")
finally:
    for process in reversed(processes):
        process.terminate()
    for process in processes:
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()

#!/usr/bin/python3
"""The page "Параметры" end to end, as a user with a screen reader drives it.

Runs inside dbus-run-session: starts Xvfb, the accessibility bus, the
simulated meter on a pseudo-terminal and the window, then through AT-SPI:
"Записать" after a current-values read and after a test poll sends nothing
and says why; reads the parameters and checks every value cell against what
flovir-cli reads from the same meter; changes one value with the mouse and
keyboard, writes: the confirmation lists exactly that change, the backup
equals the meter's table before the write; reads back; saves the workbook,
changes the value, loads the workbook. At the end flovir-cli finds the new
value in the meter and every other one unchanged.

usage: parameter_page_e2e.py FLOVIR METER_SIM FLOVIR_CLI
"""

import os
import subprocess
import sys
import tempfile
import time

from gi.repository import GLib

FLOVIR, METER_SIM, CLI = sys.argv[1:4]
SCRATCH = tempfile.mkdtemp(prefix="flovir-par-e2e-")
LINK = os.path.join(SCRATCH, "meter")
CHANGED = (6, 2)  # "Максимум, м3/час", channel 2: one decimal
processes = []


def start(args, **kwargs):
    process = subprocess.Popen(args, **kwargs)
    processes.append(process)
    return process


def poll(what, condition, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            result = condition()
        except GLib.Error:  # the tree changes under us while the window works
            result = None
        if result:
            return result
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def cli_table(save=None):
    """The grid's texts as flovir-cli reads them: {(row, column): text}."""
    out = subprocess.run([CLI, "params", "read", "--port", LINK, "--folder", SCRATCH] +
                         (["--save", save] if save else []),
                         capture_output=True, text=True, check=True).stdout.splitlines()
    texts = {}
    for row in range(1, 38):
        words = out[row][28:].split()
        for column in range(1, 5):
            texts[(row, column)] = words[column - 1]
        if row <= 13:
            texts[(row, 6)] = words[-1]
    return texts


def start_display():
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp"], pass_fds=[write_end], stderr=open(os.path.join(SCRATCH, "xvfb.log"), "w"))
    os.close(write_end)
    number = os.read(read_end, 16).decode().strip()
    os.environ["DISPLAY"] = ":" + number
    # The window gives up at once on a display that refuses it: wait until a
    # client gets in.
    poll("the display", lambda: subprocess.run(["xdotool", "getdisplaygeometry"],
                                                capture_output=True).returncode == 0, 30)
    start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
          stderr=subprocess.DEVNULL)
    # The window looks for the accessibility bus once, when it starts.
    poll("the accessibility bus", lambda: subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], capture_output=True).returncode == 0, 30)


def main():
    start([METER_SIM, "--link", LINK], stdout=subprocess.DEVNULL)
    poll("the simulated meter", lambda: os.path.exists(LINK), 10)
    before_file = os.path.join(SCRATCH, "до записи.xls")
    meter_before = cli_table(before_file)

    start_display()
    import pyatspi  # after the display and the bus exist

    runtime = os.path.join(SCRATCH, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_RUNTIME_DIR=runtime,
               XDG_CONFIG_HOME=os.path.join(SCRATCH, "config"))

    def find_app():  # the desktop afresh each time: the window registers late
        if window.poll() is not None:
            return "ended"
        desktop = pyatspi.Registry.getDesktop(0)
        return next((a for a in (desktop[i] for i in range(desktop.childCount))
                     if a is not None and a.name == "flovir" and
                     a.get_process_id() == window.pid), None)

    # Now and then the X server refuses a client on a busy machine, and the
    # window ends at once: it gets one more start.
    for attempt in (1, 2):
        window = start([FLOVIR, "--port", LINK, "--folder", SCRATCH], env=env)
        app = poll("the window", find_app, 90)
        if app != "ended":
            break
        assert attempt == 1, "the window ended with %s" % window.returncode

    def find(predicate, root=None):
        """The first node under root for which predicate holds."""
        stack = [root or app]
        while stack:
            node = stack.pop()
            try:
                if predicate(node):
                    return node
                stack.extend(child for child in node if child is not None)
            except Exception:  # a node that went away meanwhile
                pass
        return None

    def control(description):
        return poll(description, lambda: find(lambda n: n.description == description))

    def enabled(node):
        return node.getState().contains(pyatspi.STATE_ENABLED)

    def click(description):
        node = control(description)
        poll(description + " enabled", lambda: enabled(node))
        node.queryAction().doAction(0)

    def status():
        return control("StatusBar1").name

    button8 = control("Button8")

    def run_operation(description):
        """Clicks an operation button and waits for the end of the operation."""
        click(description)
        poll(description + " running", lambda: not enabled(button8), 10)
        poll(description + " ended", lambda: enabled(button8))
        return status()

    def select_tab(name):
        poll("tab " + name, lambda: find(
            lambda n: n.getRoleName() == "page tab" and n.name == name)).queryAction().doAction(0)

    grid = control("RzStringGrid1")
    table = grid.queryTable()

    def cell(row, column):
        return table.getAccessibleAt(row - 1, column)

    def grid_texts():
        return {key: cell(*key).name for key in meter_before}

    def type_into(row, column, typed, shown):
        """A double click on the cell, the text typed, Enter."""
        x, y, w, h = cell(row, column).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        # The window gets the events in this order, so the keys reach the
        # editor that the double click opens. (The editor lives in
        # the table's viewport, where AT-SPI does not list it.)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click",
                        "--repeat", "2", "--delay", "80", "1", "type", typed], check=True)
        subprocess.run(["xdotool", "key", "Return"], check=True)
        poll("the typed value", lambda: cell(row, column).name == shown, 10)

    def file_dialog(description, path):
        dialog = control(description)
        name = poll("the file name field", lambda: find(
            lambda n: n.getRoleName() == "text" and
            n.getState().contains(pyatspi.STATE_EDITABLE) and
            ("name" in n.name.lower() or "имя" in n.name.lower()), dialog))
        name.queryEditableText().setTextContents(path)
        accept = find(lambda n: n.getRoleName() == "push button" and
                      n.name.replace("&", "") in ("Сохранить", "Открыть", "Save", "Open"), dialog)
        accept.queryAction().doAction(0)
        poll("the dialog closed", lambda: not dialog.getState().contains(pyatspi.STATE_SHOWING))

    # Start, and the page "Параметры".
    click("Button1")
    poll("the connection", lambda: enabled(button8), 30)
    select_tab("****  2. Cкачать  ****")
    select_tab("Параметры")

    # Nothing read from the meter yet, after the current values, and a read
    # followed by a test poll: "Записать" sends nothing and says what to do.
    select_tab("Текущие")
    assert run_operation("Button4") == "Завершено успешно", status()
    select_tab("Параметры")
    click("Button11")
    poll("the refusal", lambda: "Запись не выполнена" in status())
    assert "Сначала считайте" in status(), status()
    # A read, then the test poll refills the buffer.
    assert run_operation("Button8") == "Завершено успешно", status()
    select_tab("тест")
    memo3 = control("Memo3").queryText()
    click("Button12")
    poll("a test poll", lambda: memo3.getText(0, -1).strip() != "")
    click("Button12")
    poll("the poll stopped", lambda: control("Button12").name == "Старт")
    poll("the line idle", lambda: enabled(button8))
    select_tab("Параметры")
    click("Button11")
    poll("the refusal after the poll", lambda: "тестового опроса" in status())

    # The grid shows what the meter holds.
    assert run_operation("Button8") == "Завершено успешно", status()
    assert grid_texts() == meter_before, (grid_texts(), meter_before)

    # One value by keyboard, marked until it is written. The write first
    # backs the meter's table up, then asks with the list of changes.
    type_into(*CHANGED, "1234,5", "1234,5")
    assert cell(*CHANGED).description == "изменено, не записано в прибор"
    click("Button11")
    dialog = control("WriteConfirmation")
    assert control("WriteSummary").name == "Изменится значений: 1", control("WriteSummary").name
    changes = control("WriteChanges").queryTable()
    assert changes.nRows == 1, changes.nRows
    listed = [changes.getAccessibleAt(0, c).name for c in range(4)]
    assert listed == ["Максимум, м3/час", "2", meter_before[CHANGED], "1234,5"], listed
    control("WriteConfirm").queryAction().doAction(0)
    poll("the dialog closed", lambda: not dialog.getState().contains(pyatspi.STATE_SHOWING))
    poll("the write", lambda: status() == "Завершено успешно" and enabled(button8))
    assert cell(*CHANGED).description == ""
    backups = os.path.join(SCRATCH, "резервные копии")
    names = os.listdir(backups)
    assert len(names) == 1 and names[0].startswith("адрес 1 "), names
    # The backup is the meter's table before the write.
    diff = subprocess.run([CLI, "params", "diff", before_file, os.path.join(backups, names[0])],
                          capture_output=True, text=True)
    assert diff.returncode == 0, diff.stdout + diff.stderr
    assert run_operation("Button8") == "Завершено успешно", status()
    expected = dict(meter_before)
    expected[CHANGED] = "1234,5"
    assert grid_texts() == expected

    # Saved, changed, loaded back.
    saved = os.path.join(SCRATCH, "копия")
    click("Button16")
    file_dialog("SaveDialog2", saved)
    poll("the saved workbook", lambda: os.path.exists(saved + ".xls"), 10)
    type_into(*CHANGED, "77", "77,0")
    click("Button17")
    file_dialog("OpenDialog1", saved + ".xls")
    poll("the loaded value", lambda: cell(*CHANGED).name == "1234,5", 10)

    # Stop frees the line; the meter holds the written value and no other change.
    click("Button2")
    poll("the line closed", lambda: not enabled(button8), 30)
    assert cli_table() == expected


try:
    main()
    print("parameter page end to end: passed")
except BaseException:
    with open(os.path.join(SCRATCH, "xvfb.log")) as log:
        print("Xvfb on %s:\n%s" % (os.environ.get("DISPLAY"), log.read()), file=sys.stderr)
    raise
finally:
    for process in reversed(processes):
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
    subprocess.run(["rm", "-rf", SCRATCH])

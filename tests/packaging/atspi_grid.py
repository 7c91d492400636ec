#!/usr/bin/python3
"""Quiralto as a screen reader meets it: the real program on a private
desktop, read through the AT-SPI accessibility bus.

A student chooses "Mi Menor - 1 Sustenido" from the keyboard (three Tabs
from the first grid, then "m"); the screen reader is told of each chord
written into the natural grid, the grid then reads its chords at their
columns under its degree headings, and the three Play buttons, greyed
before, can play. A click then brings the focus into the natural grid: the
screen reader is told once that the clicked cell has it, with the grid's
remark.

Usage: atspi_grid.py <quiralto> <scale folder> <xwindow helper>
Runs with Debian's python3 (python3-pyatspi), not another interpreter.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Quiralto - Versão 1.0"
NATURAL_GRID = "Acordes da escala primitiva"
REMARK = "O acorde da dominante é menor."
PLAYERS = ["Tocar escala primitiva", "Tocar escala harmônica", "Tocar escala melódica"]
# As a screen reader is to say them: the grid shows "Fá # Dim.".
MI_MENOR_NATURAL = ["Mi menor", "", "Fá sustenido diminuto", "Sol maior", "", "Lá menor", "",
                    "Si menor", "Dó maior", "", "Ré maior", "", "Mi menor"]
NATURAL_HEADINGS = ["Tônica", "", "Sobretônica", "Mediante", "", "Subdominante", "",
                    "Dominante", "Submediante", "", "Subtônica", "", "Tônica"]


class Failure(Exception):
    pass


def wait_for(what, probe, seconds=10.0):
    """Polls probe() until it returns something true, and returns that."""
    deadline = time.monotonic() + seconds
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("gave up waiting for " + what)
        time.sleep(0.1)


class Desktop:
    """A virtual X server, a session bus with the accessibility bus behind
    it, and a PulseAudio server whose only output is a null sink, so that
    the players can open their files. All end with the desktop."""

    def __init__(self):
        self.processes = []
        self.folder = tempfile.mkdtemp(prefix="quiralto-atspi-")
        self.env = dict(os.environ, HOME=self.folder, XDG_RUNTIME_DIR=self.folder,
                        PULSE_RUNTIME_PATH=self.folder, QT_QPA_PLATFORM="xcb")
        self.env.pop("WAYLAND_DISPLAY", None)
        try:
            self._start_x()
            self._start_bus()
            self._start_pulse()
        except BaseException:
            self.close()
            raise

    def start(self, arguments, **options):
        options.setdefault("env", self.env)
        process = subprocess.Popen(arguments, **options)
        self.processes.append(process)
        return process

    def run(self, arguments, timeout=15):
        done = subprocess.run(arguments, env=self.env, capture_output=True, text=True, timeout=timeout)
        if done.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(arguments), done.stderr.strip()))
        return done.stdout

    def _start_x(self):
        # Xvfb picks a free display and writes its number to -displayfd.
        reading, writing = os.pipe()
        self.start(["Xvfb", "-displayfd", str(writing), "-screen", "0", "1280x720x24", "-nolisten", "tcp"],
                   pass_fds=(writing,), stderr=subprocess.DEVNULL)
        os.close(writing)
        with os.fdopen(reading) as numbers:
            display = numbers.readline().strip()
        if not display:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display

    def _start_bus(self):
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                          "--address=unix:path=" + os.path.join(self.folder, "bus")],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = bus.stdout.readline().strip()
        if not address:
            raise Failure("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # The launcher starts the accessibility bus and answers, on the
        # session bus, where it is: that is how the program and the client
        # find it.
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], stderr=subprocess.DEVNULL)
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True).returncode == 0)

    def _start_pulse(self):
        socket = os.path.join(self.folder, "pulse.sock")
        self.start(["pulseaudio", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                    "--load=module-null-sink sink_name=quiralto_atspi",
                    "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["PULSE_SERVER"] = "unix:" + socket
        wait_for("PulseAudio", lambda: os.path.exists(socket)
                 and subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode == 0)

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(3)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def find(accessible, role, name=None):
    """The first descendant with this role (pyatspi.ROLE_...) and accessible
    name (any name when none is given). Roles are compared by number: their
    names change between releases of at-spi2-core ("push button" on Debian
    12 is "button" on Debian 13)."""
    if accessible.getRole() == role and name in (None, accessible.name):
        return accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        found = child and find(child, role, name)
        if found:
            return found
    return None


def start_program(desktop, program, scales):
    """Starts the program in its scale folder, describing itself on the
    accessibility bus, and ending at once, as in every test, on a failure
    that escapes a handler."""
    return desktop.start([program], cwd=scales, env=dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                                         QUIRALTO_STRICT_HANDLERS="1"))


def cell_centre(table, column):
    """Where the middle of a chord cell is on the screen, for xdotool."""
    import pyatspi
    extents = table.getAccessibleAt(0, column).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return str(extents.x + extents.width // 2), str(extents.y + extents.height // 2)


def row_texts(table, row):
    return [table.getAccessibleAt(row, column).name for column in range(table.nColumns)]


def header_texts(table):
    return [table.getColumnHeader(column).name for column in range(table.nColumns)]


def can_play(window, pyatspi):
    states = [find(window, pyatspi.ROLE_PUSH_BUTTON, name).getState() for name in PLAYERS]
    return [state.contains(pyatspi.STATE_ENABLED) and state.contains(pyatspi.STATE_SENSITIVE)
            for state in states]


def check(program, scales, xwindow):
    desktop = Desktop()
    try:
        quiralto = start_program(desktop, program, scales)
        window_id = desktop.run([xwindow, "wait-map", WINDOW_TITLE, "10000"]).strip()

        # The client finds the accessibility bus through the environment.
        os.environ.update(desktop.env)
        import pyatspi

        def application():
            screen = pyatspi.Registry.getDesktop(0)
            for index in range(screen.childCount):
                candidate = screen.getChildAtIndex(index)
                if candidate and candidate.get_process_id() == quiralto.pid:
                    return candidate
            return None

        app = wait_for("the program on the accessibility bus", application)
        window = wait_for("the window's accessible", lambda: find(app, pyatspi.ROLE_FRAME, WINDOW_TITLE))
        grid = find(window, pyatspi.ROLE_TABLE, NATURAL_GRID)
        if not grid:
            raise Failure("no table named %r" % NATURAL_GRID)
        table = grid.queryTable()
        if (table.nRows, table.nColumns) != (1, 13):
            raise Failure("the natural grid is a %d x %d table" % (table.nRows, table.nColumns))
        if row_texts(table, 0) != [""] * 13:
            raise Failure("chords before any key: %r" % row_texts(table, 0))
        if can_play(window, pyatspi) != [False] * 3:
            raise Failure("Play buttons before any key: %r" % can_play(window, pyatspi))

        # A screen reader is told of every chord cell the key change writes.
        from gi.repository import GLib

        def pump():
            while GLib.MainContext.default().iteration(False):
                pass

        told = {}

        def listen(event):
            cell = event.source
            if cell.getRole() == pyatspi.ROLE_TABLE_CELL and cell.parent.name == NATURAL_GRID:
                told[cell.getIndexInParent() % table.nColumns] = cell.name

        pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")

        def told_of_every_chord():
            pump()
            return told == {column: text for column, text in enumerate(MI_MENOR_NATURAL) if text}

        desktop.run(["xdotool", "windowfocus", "--sync", window_id])
        desktop.run(["xdotool", "key", "--delay", "50", "Tab", "Tab", "Tab", "m"])

        wait_for("the natural grid to read Mi menor", lambda: row_texts(table, 0) == MI_MENOR_NATURAL, 10)
        try:
            wait_for("news of the natural grid's new chords", told_of_every_chord, 10)
        except Failure:
            raise Failure("told of the natural grid's cells: %r" % told)
        if header_texts(table) != NATURAL_HEADINGS:
            raise Failure("natural headings: %r" % header_texts(table))
        wait_for("the Play buttons to become available", lambda: can_play(window, pyatspi) == [True] * 3, 5)
        if find(app, pyatspi.ROLE_ALERT):
            raise Failure("an error box opened")

        # The focus is in the key selector. A click moves the natural grid's
        # current cell as the focus comes in; the screen reader hears of it
        # once, as when Tab brings the focus.
        focused = []

        def listen_focus(event):
            cell = event.source
            if event.detail1 and cell.getRole() == pyatspi.ROLE_TABLE_CELL:
                focused.append((cell.getIndexInParent() % table.nColumns, cell.description))

        pyatspi.Registry.registerEventListener(listen_focus, "object:state-changed:focused")
        time.sleep(1)  # for the program to learn that someone listens
        desktop.run(["xdotool", "mousemove", "--sync", *cell_centre(table, 3), "click", "1"])
        wait_for("news of the clicked cell's focus", lambda: pump() or focused, 5)
        time.sleep(1)  # for any second news of it
        pump()
        if focused != [(3, REMARK)]:
            raise Failure("focus news of the clicked grid's cells: %r" % focused)
        print("PASS: the natural grid reads", " | ".join(MI_MENOR_NATURAL))
    finally:
        desktop.close()


def run(check, usage):
    """Runs check(program, scales, xwindow) on the command line's arguments:
    0 when it passes, 1 when it fails, 2 with \a usage when misused."""
    if len(sys.argv) != 4:
        print(usage)
        return 2
    try:
        check(*sys.argv[1:])
    except ImportError as missing:
        print("FAIL: no AT-SPI client (Debian package python3-pyatspi):", missing)
        return 1
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        print("FAIL:", failure)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(run(check, __doc__))

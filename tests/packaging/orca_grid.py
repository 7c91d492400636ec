#!/usr/bin/python3
"""What a blind student hears: Debian's screen reader Orca, with its default
settings, on the real program on a private desktop. The student chooses
"Mi Menor - 1 Sustenido", tabs into the natural grid, walks it by keyboard
and clicks a chord; at each step Orca must say the focused chord in words
and no other. Orca speaks through a speech-dispatcher without a voice and
logs what it says.

Usage: orca_grid.py <quiralto> <scale folder> <xwindow helper>
Exits 77 (skipped) while another Orca runs for this user: only one can.
"""

import os
import signal
import subprocess
import sys
import time

from atspi_grid import MI_MENOR_NATURAL, NATURAL_GRID, WINDOW_TITLE, Desktop, Failure, find, run, wait_for

REMARK = "O acorde da dominante é menor."
PHRASES = set(MI_MENOR_NATURAL) - {""} | {REMARK}
# (what is done, the column then focused). The key selector is followed by
# the three Play buttons in the tab order.
STEPS = [(["Tab"] * 4, 0), (["Right"], 1), (["Right"], 2), (["End"], 12), (["Left"], 11),
         (["Left"], 10), (["Home"], 0), ("click", 7), (["Right"], 8)]

# Orca's speech logger, which its own tests read, also writes to a file.
CUSTOMIZATIONS = """import logging
_handler = logging.FileHandler(%r, encoding="utf-8")
_handler.setFormatter(logging.Formatter("%%(message)s"))
logging.getLogger("speech").addHandler(_handler)
"""


def utterances(log):
    # "SPEECH OUTPUT: 'Mi menor.'", sometimes followed by the voice.
    if not os.path.exists(log):
        return []
    with open(log, encoding="utf-8") as lines:
        return [line.split("'")[1] for line in lines if line.startswith("SPEECH OUTPUT")]


def phrases_in(said):
    return {phrase for phrase in PHRASES for text in said if text.startswith(phrase) or " " + phrase in text}


def cell_centre(pid, column):
    import pyatspi
    screen = pyatspi.Registry.getDesktop(0)
    app = next(app for app in screen if app and app.get_process_id() == pid)
    cell = find(app, "table", NATURAL_GRID).queryTable().getAccessibleAt(0, column)
    extents = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return str(extents.x + extents.width // 2), str(extents.y + extents.height // 2)


def check(program, scales, xwindow):
    desktop = Desktop()
    try:
        prefs, log = os.path.join(desktop.folder, "orca"), os.path.join(desktop.folder, "speech.log")
        os.makedirs(prefs)
        with open(os.path.join(prefs, "orca-customizations.py"), "w", encoding="utf-8") as customizations:
            customizations.write(CUSTOMIZATIONS % log)
        # -t 0: the server must not end before Orca, slow to start, connects.
        desktop.start(["speech-dispatcher", "-s", "-t", "0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        desktop.start(["orca", "-u", prefs, "-d", "braille"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("Orca to start", lambda: "Screen reader on." in utterances(log), 60)

        quiralto = desktop.start([program], cwd=scales, env=dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
        desktop.run(["xdotool", "windowfocus", "--sync", desktop.run([xwindow, "wait-map", WINDOW_TITLE, "10000"]).strip()])
        desktop.run(["xdotool", "key", "--delay", "300", "Tab", "Tab", "Tab", "m"])
        wait_for("Orca to read the key", lambda: any("Menor - 1 Sustenido" in text for text in utterances(log)), 20)
        time.sleep(1)
        os.environ.update(desktop.env)  # where the AT-SPI client finds the bus

        heard, transcript = len(utterances(log)), []
        for action, column in STEPS:
            if action == "click":
                desktop.run(["xdotool", "mousemove", "--sync", *cell_centre(quiralto.pid, column), "click", "1"])
            else:
                desktop.run(["xdotool", "key", "--delay", "300"] + action)
            chord = {MI_MENOR_NATURAL[column]} - {""}
            # Coming into a table Orca reads the focused cell's row (its
            # default) and the grid's remark; along the row, the one cell. A
            # click may reach Orca's pointer tracking before the focus does,
            # and then it says nothing: the next key shows where it is.
            expected = PHRASES if action[0] == "Tab" else set() if action == "click" else chord
            deadline = time.monotonic() + 10
            while not expected <= phrases_in(utterances(log)[heard:]) and time.monotonic() < deadline:
                time.sleep(0.1)
            time.sleep(1)  # for anything Orca still says about the step
            said = utterances(log)[heard:]
            heard += len(said)
            transcript.append("%s: %s" % (action if action == "click" else " ".join(action), " | ".join(said)))
            if not expected <= phrases_in(said) <= expected | chord:
                raise Failure("Orca said:\n  " + "\n  ".join(transcript))
        print("PASS:\n  " + "\n  ".join(transcript))
    finally:
        desktop.close()  # Orca with the rest, by its PID


def main():
    if subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"], capture_output=True).returncode == 0:
        print("SKIP: another Orca runs for this user")
        return 77
    # A test that runs too long is ended by SIGTERM: close the desktop still.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    return run(check, __doc__)


if __name__ == "__main__":
    sys.exit(main())

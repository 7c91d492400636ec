#!/usr/bin/python3
"""What a blind student hears: Debian's screen reader Orca, with its default
settings, on the real program on a private desktop. The student chooses
"Mi Menor - 1 Sustenido", tabs into the natural grid, walks it by keyboard
and clicks a chord; at each step Orca must say the focused chord in words
and no other, and never "not selected". Orca speaks through a
speech-dispatcher without a voice and logs what it says in its debug file.

Usage: orca_grid.py <quiralto> <scale folder> <xwindow helper>
Exits 77 (skipped) while another Orca runs for this user: only one can.
"""

import os
import signal
import subprocess
import sys
import time

from atspi_grid import (MI_MENOR_NATURAL, NATURAL_GRID, REMARK, WINDOW_TITLE, Desktop, Failure, cell_centre, find, run,
                        start_program, wait_for)

PHRASES = set(MI_MENOR_NATURAL) - {""} | {REMARK}
# What Orca 48 said before every chord of a row while the cells called
# themselves selectable; no step may say it.
NOISE = {"not selected"}
# (what is done, the column then focused). The key selector is followed by
# the three Play buttons in the tab order; Shift+Tab from the natural grid
# goes round to the last of them.
STEPS = [(["Tab"] * 4, 0), (["Right"], 1), (["Right"], 2), (["End"], 12), (["Left"], 11),
         (["Left"], 10), (["Home"], 0), ("click", 7), (["Right"], 8),
         (["shift+Tab", "Tab"], 8)]

# Orca writes what it says to its debug file, in blocks unless told
# otherwise; the test reads it as it is said.
CUSTOMIZATIONS = """import orca.debug
orca.debug.debugFile.reconfigure(line_buffering=True)
"""


class SpeechLog:
    """What Orca has said, read from its debug file as it grows."""

    def __init__(self, path):
        self.path, self.read, self.said = path, 0, []

    def utterances(self):
        # "<time> - SPEECH OUTPUT: 'Mi menor.'", followed by the voice.
        if os.path.exists(self.path):
            with open(self.path, "rb") as log:
                log.seek(self.read)
                complete = log.read().rpartition(b"\n")[0]
            self.read += len(complete) + bool(complete)
            self.said += [line.split("SPEECH OUTPUT: '", 1)[1].split("'")[0]
                          for line in complete.decode("utf-8", "replace").split("\n") if "SPEECH OUTPUT: '" in line]
        return self.said


def phrases_in(said):
    return {phrase for phrase in PHRASES | NOISE for text in said
            if text.startswith(phrase) or " " + phrase in text}


def natural_table(pid):
    import pyatspi
    screen = pyatspi.Registry.getDesktop(0)
    app = next(app for app in screen if app and app.get_process_id() == pid)
    return find(app, pyatspi.ROLE_TABLE, NATURAL_GRID).queryTable()


def check(program, scales, xwindow):
    desktop = Desktop()
    try:
        prefs, log = os.path.join(desktop.folder, "orca"), os.path.join(desktop.folder, "orca.log")
        os.makedirs(prefs)
        with open(os.path.join(prefs, "orca-customizations.py"), "w", encoding="utf-8") as customizations:
            customizations.write(CUSTOMIZATIONS)
        speech = SpeechLog(log)
        # -t 0: the server must not end before Orca, slow to start, connects.
        desktop.start(["speech-dispatcher", "-s", "-t", "0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Orca's own words in English, whatever the developer's language.
        desktop.start(["orca", "-u", prefs, "-d", "braille", "--debug-file", log], env=dict(desktop.env, LC_ALL="C.UTF-8"),
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("Orca to start", lambda: "Screen reader on." in speech.utterances(), 60)

        quiralto = start_program(desktop, program, scales)
        desktop.run(["xdotool", "windowfocus", "--sync", desktop.run([xwindow, "wait-map", WINDOW_TITLE, "10000"]).strip()])
        desktop.run(["xdotool", "key", "--delay", "300", "Tab", "Tab", "Tab", "m"])
        wait_for("Orca to read the key", lambda: any("Menor - 1 Sustenido" in text for text in speech.utterances()), 20)
        time.sleep(1)
        os.environ.update(desktop.env)  # where the AT-SPI client finds the bus

        heard, transcript = len(speech.utterances()), []
        for action, column in STEPS:
            if action == "click":
                desktop.run(["xdotool", "mousemove", "--sync", *cell_centre(natural_table(quiralto.pid), column), "click", "1"])
            else:
                desktop.run(["xdotool", "key", "--delay", "300"] + action)
            chord = {MI_MENOR_NATURAL[column]} - {""}
            # Coming into a table Orca reads the focused cell's row (its
            # default) and the grid's remark; along the row, the one cell. A
            # click may reach Orca's pointer tracking before the focus does,
            # and then it says nothing: the next key shows where it is.
            expected = PHRASES if action[-1] == "Tab" else set() if action == "click" else chord
            deadline = time.monotonic() + 10
            while not expected <= phrases_in(speech.utterances()[heard:]) and time.monotonic() < deadline:
                time.sleep(0.1)
            time.sleep(1)  # for anything Orca still says about the step
            said = speech.utterances()[heard:]
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

#!/usr/bin/env python3
"""Runs a test with KORVANE.EXE told that Windows is Windows 98 (or 95), then
puts the prefix back as it was, even when the test fails.

    win9x_mode.py [--windows 95|98] PROBE.EXE -- COMMAND...
    win9x_mode.py --restore

Wine takes the version a program sees from HKCU\\Software\\Wine\\AppDefaults\\
<program name>\\Version, so only KORVANE.EXE is affected, not the test driver.
Before COMMAND runs, PROBE.EXE is copied under the name KORVANE.EXE and run: it
must report the version asked for (4.10.2222 or 4.0.950, platform 1), or the
test does not count. A gtest COMMAND that ran no test fails too (its filter
would match nothing after a rename). Exit code 77 from the probe or COMMAND (a
program that cannot run on this host) is passed on as 77, a skipped test.
--restore only removes the setting (the CTest cleanup after a timeout).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

KEY = r"HKCU\Software\Wine\AppDefaults\KORVANE.EXE"
# Wine's name for each version and what GetVersionExA then reports.
MODES = {"98": ("win98", "4.10.2222 platform 1"), "95": ("win95", "4.0.950 platform 1")}
SKIPPED = 77  # scripts/bin/wine: this host cannot start the program


def reg(*args):
    with open(os.devnull, "w") as null:
        return subprocess.call(["wine", "reg"] + list(args), stdin=subprocess.DEVNULL, stdout=null, stderr=null)


def set_version(name):
    if reg("add", KEY, "/v", "Version", "/d", name, "/f") != 0:
        sys.exit("FAIL: could not set %s Version" % KEY)


def restore():
    reg("delete", KEY, "/v", "Version", "/f")


def run_logged(command, log_path):
    """Runs a Wine command with its output in a file (a pipe would be held
    open by Wine's background processes) and returns (code, output)."""
    with open(log_path, "w+b") as log:
        code = subprocess.call(command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        log.seek(0)
        return code, log.read().decode("utf-8", "replace").replace("\r\n", "\n")


def probe(probe_exe, work):
    """Returns (exit code, output) of the probe run as KORVANE.EXE."""
    renamed = os.path.join(work, "KORVANE.EXE")
    shutil.copyfile(probe_exe, renamed)
    code, output = run_logged(["wine", renamed], os.path.join(work, "probe.log"))
    if code == SKIPPED:
        print(output.strip())
    else:
        print("a program named KORVANE.EXE sees Windows " + output.strip())
    return code, output


def main(argv):
    if argv == ["--restore"]:
        restore()
        return 0
    windows = "98"
    if len(argv) >= 2 and argv[0] == "--windows":
        windows, argv = argv[1], argv[2:]
    if windows not in MODES or len(argv) < 3 or argv[1] != "--":
        print(__doc__.strip(), file=sys.stderr)
        return 2
    wine_name, expected = MODES[windows]
    probe_exe, command = argv[0], argv[2:]
    work = tempfile.mkdtemp(prefix="win%s-" % windows)
    set_version(wine_name)
    try:
        code, output = probe(probe_exe, work)
        if code == SKIPPED:
            print("skipped: the probe cannot run on this host")
            return SKIPPED
        if expected not in output:
            print("FAIL: the Windows %s setting does not reach KORVANE.EXE (want %s)" % (windows, expected))
            return 1
        code, output = run_logged(command, os.path.join(work, "test.log"))
        sys.stdout.write(output)
    finally:
        restore()
        shutil.rmtree(work, ignore_errors=True)
    if code == SKIPPED:
        return SKIPPED
    ran = re.search(r"\[==========\] (\d+) tests? from .* ran", output)
    if "[==========]" in output and (not ran or int(ran.group(1)) == 0):
        print("FAIL: no test ran")
        return 1
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

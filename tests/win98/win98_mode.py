#!/usr/bin/env python3
"""Runs a test with KORVANE.EXE told that Windows is Windows 98, then puts the
prefix back as it was, even when the test fails.

    win98_mode.py PROBE.EXE -- COMMAND...
    win98_mode.py --restore

Wine takes the version a program sees from HKCU\\Software\\Wine\\AppDefaults\\
<program name>\\Version, so only KORVANE.EXE is affected, not the test driver.
Before COMMAND runs, PROBE.EXE is copied under the name KORVANE.EXE and run: it
must report 4.10.2222 platform 1, or the test does not count. A gtest COMMAND
that ran no test fails too (its filter would match nothing after a rename).
--restore only removes the setting (the CTest cleanup after a timeout).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

KEY = r"HKCU\Software\Wine\AppDefaults\KORVANE.EXE"
WIN98 = "4.10.2222 platform 1"
SKIP = 77  # scripts/bin/wine: this host cannot start the program


def reg(*args):
    with open(os.devnull, "w") as null:
        return subprocess.call(["wine", "reg"] + list(args), stdin=subprocess.DEVNULL, stdout=null, stderr=null)


def set_win98():
    if reg("add", KEY, "/v", "Version", "/d", "win98", "/f") != 0:
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
    """Returns True when the renamed probe sees Windows 98, or SKIP when the
    host cannot start it at all."""
    renamed = os.path.join(work, "KORVANE.EXE")
    shutil.copyfile(probe_exe, renamed)
    code, output = run_logged(["wine", renamed], os.path.join(work, "probe.log"))
    if code == SKIP:
        print(output.strip())
        return SKIP
    print("a program named KORVANE.EXE sees Windows " + output.strip())
    return WIN98 in output


def main(argv):
    if argv == ["--restore"]:
        restore()
        return 0
    if len(argv) < 3 or argv[1] != "--":
        print(__doc__.strip(), file=sys.stderr)
        return 2
    probe_exe, command = argv[0], argv[2:]
    work = tempfile.mkdtemp(prefix="win98-")
    set_win98()
    try:
        seen = probe(probe_exe, work)
        if seen == SKIP:
            return SKIP
        if not seen:
            print("FAIL: the Windows 98 setting does not reach KORVANE.EXE (want %s)" % WIN98)
            return 1
        code, output = run_logged(command, os.path.join(work, "test.log"))
        sys.stdout.write(output)
    finally:
        restore()
        shutil.rmtree(work, ignore_errors=True)
    ran = re.search(r"\[==========\] (\d+) tests? from .* ran", output)
    if "[==========]" in output and (not ran or int(ran.group(1)) == 0):
        print("FAIL: no test ran")
        return 1
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

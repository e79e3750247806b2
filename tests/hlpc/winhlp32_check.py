"""Opens ZELKOR.HLP in Wine's help viewer: the contents topic and a topic by its id must show, without an error box."""
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hlpread  # noqa: E402

SKIP = 77
WAIT_SECONDS = 60
# Wine 8's viewer warns at the end of every topic chain, when a file has no
# context-number map, and for every jump it lays out: not faults of the file.
BENIGN_WARNINGS = ("maplen", "no map section", "jump topic 1 =>")


def top_level_window_names():
    run = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True)
    return re.findall(r'^\s+0x[0-9a-f]+ "(.*)":', run.stdout, re.MULTILINE)


def shown_texts(log_path):
    with open(log_path, encoding="latin-1") as f:
        log = f.read()
    return log, re.findall(r"Got text: (.*)", log)


def open_viewer(win_path, log_path, topic=None):
    args = ["wine", "winhlp32.exe"] + (["-i", topic] if topic else []) + [win_path]
    env = dict(os.environ, WINEDEBUG="err+all,fixme-all,fixme+winhelp,warn+winhelp,trace+winhelp")
    with open(log_path, "w") as log:
        return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                env=env, start_new_session=True)


def close_viewer(viewer):
    # The viewer lives until it is told to quit; end the process this check started, and only that one.
    if viewer.poll() is None:
        os.killpg(viewer.pid, signal.SIGTERM)
        try:
            viewer.wait(timeout=15)
        except subprocess.TimeoutExpired:
            os.killpg(viewer.pid, signal.SIGKILL)
            viewer.wait()


def check_view(win_path, log_path, caption, expected, unexpected, titles, screenshot=None):
    """Returns a list of problems; empty when the viewer showed `expected` and nothing went wrong."""
    viewer = open_viewer(win_path, log_path, expected[0])
    problems = []
    try:
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            log, texts = shown_texts(log_path)
            windows = top_level_window_names()
            shown = any(expected[1] in text for text in texts)
            if shown and any(caption in name for name in windows):
                break
            errors = [name for name in windows if "error" in name.lower()]
            errors += re.findall(r"^[0-9a-f]+:err:winhelp:.*$", log, re.MULTILINE)
            if errors:
                return [f"the viewer failed: {errors}"]
            if viewer.poll() is not None:
                return [f"the viewer ended (code {viewer.returncode}) before showing {expected[1]!r}"]
            if time.monotonic() > deadline:
                return [f"no window {caption!r} with {expected[1]!r} after {WAIT_SECONDS} s"]
            time.sleep(0.25)
        time.sleep(1.5)   # lets the rich edit control paint before the screenshot
        log, texts = shown_texts(log_path)
        for line in log.splitlines():
            complaint = re.match(r"[0-9a-f]+:(err|fixme|warn):winhelp:\S+ (.*)", line)
            if complaint and not complaint.group(2).startswith(BENIGN_WARNINGS):
                problems.append(f"viewer complained: {line}")
        for text in unexpected:
            if any(text in shown for shown in texts):
                problems.append(f"{text!r} was shown, but belongs to another topic")
        added = re.findall(r"Added page\[\d+\]: title=[\"'](.*?)[\"'] [0-9a-f]{8} <<", log)
        if added[:len(titles)] != titles:
            problems.append(f"the viewer read the topics {added}, expected {titles}")
        if screenshot:
            os.makedirs(os.path.dirname(screenshot), exist_ok=True)
            subprocess.run(["import", "-window", "root", screenshot], check=True, timeout=30)
    finally:
        close_viewer(viewer)
    return problems


def main():
    hlp = os.path.abspath(sys.argv[1])
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("skipped: needs DISPLAY and WINEPREFIX (run through scripts/test.sh)")
        return SKIP
    # The viewer waits in a Yes/No box for a missing file: never start it without one.
    if not os.path.isfile(hlp):
        print(f"{hlp} was not built")
        return 1
    with open(hlp, "rb") as f:
        help_file = hlpread.HelpFile(f.read())
    titles = [page.title for page in help_file.pages]
    build = os.path.dirname(hlp)
    arch = os.path.basename(build)
    screens = os.environ.get("KORVANE_SCREENS") or os.path.join(build, "screens")
    win_path = "Z:" + hlp.replace("/", "\\")
    caption = help_file.title

    contents_text = help_file.contents().paragraphs[1]
    readfailed = help_file.page_at(help_file.contexts[hlpread.context_hash("readfailed")])
    problems = []
    screenshot = os.path.join(screens, f"winhlp32_contents_{arch}.png")
    problems += check_view(win_path, os.path.join(build, "winhlp32_contents.log"), caption,
                           (None, contents_text[:60]), [], titles, screenshot)
    problems += check_view(win_path, os.path.join(build, "winhlp32_readfailed.log"), caption,
                           ("readfailed", readfailed.paragraphs[2][:60]), [contents_text[:60]], titles)
    for problem in problems:
        print(problem)
    if not problems:
        print(f"the viewer showed the contents topic and a topic by its id; screenshot {screenshot}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

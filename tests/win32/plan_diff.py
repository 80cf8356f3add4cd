#!/usr/bin/env python3
"""The portable model against the system: generated entries (argument formats, selected names,
prompt values) planned by the native zelmenu, which formats and expands with its portable model,
and by zelmenu.exe under Wine, which calls wvsprintfA and ExpandEnvironmentStringsW. Every plan
must come out the same, line for line.

    plan_diff.py NATIVE_ZELMENU WINDOWS_ZELMENU WINE_LOADER WORK_FOLDER [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys

# Pieces of an entry's arguments: conversions of every kind, quotes and backslashes beside %s,
# variables the format eats or leaves, and what cmd and other interpreters act on.
FORMAT_PIECES = [
    "%s", "%s", "%s", "%%", "%5s", "%-4s", "%.2s", "%.0s", "%ls", "%S", "%hs", "%hS", "%lS",
    "%07s", "%#s", "%U", "%3U", "%-3U", "%3.1U", "%ZA%", "%%ZA%%", "%%ZQ%%", "%lz", '"',
    '""', " ", " ", "\\", "x", "ab", ",", "&", ";", "(", "$", "%",
]
# Conversions the shell refuses, rarer: one makes the whole entry a refusal.
REFUSED_PIECES = ["%0-5s", "%u", "%d", "%x", "%c", "%p", "%ws", "%I64d", "%Iz", "%windir%"]
# Pieces of a selected object's name and of a prompt value.
NAME_PIECES = ["a", "b", "X", " ", ",", ";", "=", "&", "(", ")", "%", "!", "^", "'", "[", "~", "$",
               "@", "+", "-", "_", ".", "%ZA%", "#"]
VALUE_PIECES = NAME_PIECES + ['"', "\\", "%%", "x,y", "C:\\v w"]
# Pieces of a tray entry's arguments, which the tray expands but never formats.
TEXT_PIECES = ['"', " ", "x", ",", "&", "%ZA%", "%%ZA%%", "%ZQ%", "%", "\\"]
PROGRAMS = ["C:\\bin\\p.exe", "C:\\bin\\t.bat", "C:\\bin\\cmd.exe", "C:\\bin\\powershell.exe",
            "C:\\bin\\wt.exe", "C:\\bin\\a.exe|C:\\bin\\b.cmd"]
# Values of the variables the entries name, set alike for both runs.
VARIABLES = {"ZA": "C:\\A&B x", "ZB": "v"}


def pieces(rng, choices, low, high):
    return "".join(rng.choice(choices) for _ in range(rng.randint(low, high)))


def field(text):
    """A menu-file field: single quotes doubled."""
    return "'" + text.replace("'", "''") + "'"


def shell_entry(rng):
    arguments = pieces(rng, FORMAT_PIECES, 1, 8)
    if rng.random() < 0.15:
        arguments += rng.choice(REFUSED_PIECES)
    if rng.random() < 0.05:
        arguments = "y" * rng.choice([1000, 1019, 1030]) + arguments
    if rng.random() < 0.03:
        arguments += "%1018s"
    if rng.random() < 0.2:
        return "citem 'c','DllProc'," + field("C:\\bin\\x.dll,Proc," + arguments + ",7")
    return "citem 'c'," + field(rng.choice(PROGRAMS)) + "," + field(arguments)


def tray_entry(rng):
    placeholders = rng.randint(1, 3)
    arguments = " ".join(pieces(rng, TEXT_PIECES, 0, 2) + "%input(C:\\)%"
                         for _ in range(placeholders))
    values = [pieces(rng, VALUE_PIECES, 1, 5) for _ in range(placeholders)]
    if rng.random() < 0.3:
        line = "titem 't','DllProc'," + field("C:\\bin\\x.dll,Proc,a," + arguments + ",7")
    else:
        line = "titem 't'," + field(rng.choice(PROGRAMS)) + "," + field(arguments)
    return line, values


def run(command, log):
    with open(log, "wb") as out, open(log + ".err", "wb") as err:
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                       env=dict(os.environ, **VARIABLES), timeout=60)
    with open(log, "rb") as out:
        return out.read().decode("latin-1").replace("\r\n", "\n")


def main():
    native, windows, loader, work = sys.argv[1:5]
    # scripts/build makes the native tool; an older one would compare an old model.
    sources = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    newest = max(os.path.getmtime(os.path.join(root, name))
                 for folder in ("text", "menu", "launch", "tray", "zelmenu")
                 for root, _, names in os.walk(os.path.join(sources, folder)) for name in names)
    if not os.path.exists(native) or os.path.getmtime(native) < newest:
        print("plan_diff: skipped: %s is missing or older than the sources: run scripts/build" % native)
        return 77
    count = int(sys.argv[5]) if len(sys.argv) > 5 else 240
    seed = int(sys.argv[6]) if len(sys.argv) > 6 else 22
    rng = random.Random(seed)
    os.makedirs(work, exist_ok=True)
    menu = os.path.join(work, "Menu.txt")
    windows_menu = "Z:" + menu.replace("/", "\\")

    shell = [shell_entry(rng) for _ in range(count)]
    tray = [tray_entry(rng) for _ in range(count // 3)]
    with open(menu, "wb") as out:
        out.write("\r\n".join(shell + [line for line, _ in tray]).encode("latin-1") + b"\r\n")

    plans = []
    for k in range(len(shell)):
        name = "C:\\windows\\zq" + pieces(rng, NAME_PIECES, 1, 8) + rng.choice(["", ".txt"])
        plans.append((shell[k], ["--form", "shell", "--selected", name, "--id", str(k + 1)]))
    for k, (line, values) in enumerate(tray):
        arguments = ["--form", "tray", "--id", str(1033 + k)]
        for value in values:
            arguments += ["--value", value]
        plans.append((line, arguments))

    differ = 0
    for k, (line, arguments) in enumerate(plans):
        log = os.path.join(work, "plan-%d" % k)
        model = run([native, "plan"] + arguments + [menu], log + ".native")
        system = run([loader, windows, "plan"] + arguments + [windows_menu], log + ".windows")
        if model != system or not system:
            differ += 1
            print("plan %d differs: %s\n  zelmenu plan %s\n  model:  %r\n  system: %r"
                  % (k, line, " ".join(arguments), model, system))
    print("plans compared: %d, seed %d" % (len(plans), seed))
    print("%d passed, %d failed" % (len(plans) - differ, differ))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())

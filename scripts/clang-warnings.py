#!/usr/bin/env python3
"""Fails when clang warns about any of our code: scripts/clang-warnings.py BUILD SOURCE

Our code builds with -Wall -Wextra -Werror under gcc; clang warns about things
gcc does not (an unused constant, a missing `override`), so every translation
unit of ours in BUILD/compile_commands.json (src, tests, bench, fuzz) goes
through clang's syntax pass too, with the same flags and warnings as errors. A
pass is all the warnings need: no code is made. Qt's generated code is not
ours: the units moc writes are left out, and its folders are read as system
headers, so a file that includes its own moc output is judged by its own lines.

A unit is checked again only once its object file was built again since it last
passed (the build's own dependencies say when a source or a header it reads
changed), so a second run costs the units that changed.
"""

import concurrent.futures
import hashlib
import json
import os
import shlex
import shutil
import subprocess
import sys

OURS = ("src", "tests", "bench", "fuzz")
# gcc's flags that clang does not take; none of them bears on warnings.
GCC_ONLY = {"-mno-direct-extern-access", "-fno-semantic-interposition"}
# Flags that name the build's outputs, each followed by its file.
OUTPUT_WITH_FILE = {"-o", "-MT", "-MF", "-MQ"}
OUTPUT_ALONE = {"-c", "-MD", "-MMD"}
WARNINGS = ["-Wall", "-Wextra", "-Werror"]
# The pass runs before the tests, alone: a unit a core.
JOBS = os.cpu_count() or 1


def clang_command(entry, clang):
    """The unit's command for clang's syntax pass, and the object gcc made."""
    args = shlex.split(entry["command"])
    while args and os.path.basename(args[0]) in ("ccache", "sccache"):
        args = args[1:]
    command = [clang]
    target = None
    skip_next = False
    for i, arg in enumerate(args[1:], start=1):
        if skip_next:
            skip_next = False
            continue
        if arg in OUTPUT_WITH_FILE:
            if arg == "-o" and i + 1 < len(args):
                target = args[i + 1]
            skip_next = True
        elif arg in OUTPUT_ALONE or arg in GCC_ONLY:
            continue
        elif arg.startswith("-I") and "_autogen" in arg:
            command += ["-isystem", arg[2:] or args[i + 1]]
        else:
            command.append(arg)
    command += [w for w in WARNINGS if w not in command]
    command.append("-fsyntax-only")
    if target and not os.path.isabs(target):
        target = os.path.join(entry["directory"], target)
    return command, target


def is_ours(path, source):
    relative = os.path.relpath(path, source)
    return relative.split(os.sep)[0] in OURS


def check(entry, clang, stamps):
    command, target = clang_command(entry, clang)
    key = hashlib.sha1("\0".join(command + [entry["file"]]).encode()).hexdigest()
    stamp = os.path.join(stamps, key)
    built = os.stat(target).st_mtime_ns if target and os.path.exists(target) else None
    if built is not None and os.path.exists(stamp) and os.stat(stamp).st_mtime_ns == built:
        return entry["file"], True, "", False
    result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
    passed = result.returncode == 0 and "warning:" not in result.stderr
    output = result.stdout + result.stderr
    if not passed and not output:
        output = f"{entry['file']}: clang++ ended with {result.returncode}\n"
    if passed and built is not None:
        # The stamp names the object that stood when the unit passed: one
        # built again since, while the pass ran too, is another.
        with open(stamp, "w"):
            pass
        os.utime(stamp, ns=(built, built))
    return entry["file"], passed, output, True


def main():
    if len(sys.argv) != 3:
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    build, source = (os.path.abspath(p) for p in sys.argv[1:])
    clang = shutil.which("clang++")
    if not clang:
        print("clang-warnings: clang++ not found (scripts/install-deps.sh installs it)",
              file=sys.stderr)
        return 1
    with open(os.path.join(build, "compile_commands.json")) as file:
        entries = [e for e in json.load(file)
                   if is_ours(e["file"], source) and not e["file"].startswith(build + os.sep)]
    stamps = os.path.join(build, "clang-warnings")
    os.makedirs(stamps, exist_ok=True)
    failed = 0
    checked = 0
    with concurrent.futures.ThreadPoolExecutor(JOBS) as pool:
        for path, passed, output, ran in pool.map(lambda e: check(e, clang, stamps), entries):
            checked += ran
            if not passed:
                failed += 1
                print(output, end="", file=sys.stderr)
    print(f"clang-warnings: {len(entries)} units, {checked} checked now, {failed} with warnings")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

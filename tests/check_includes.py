#!/usr/bin/env python3
"""Fails, naming each file:line, when an include breaks the layering.

Only platform/ talks to the system: the other code folders include C++
standard headers and project headers only. Tests may include system
headers, to make real faults.
Project includes point downwards only:
platform <- records <- drives, report <- engine <- shell.
"""
import pathlib
import re
import sys

STANDARD = set("""
algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
climits clocale cmath codecvt compare complex concepts condition_variable coroutine csetjmp csignal
cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution
filesystem format forward_list fstream functional future initializer_list iomanip ios iosfwd iostream
istream iterator latch limits list locale map memory memory_resource mutex new numbers numeric optional
ostream queue random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
""".split())

# What each code folder may include from the project, itself included.
LAYERS = {
    "platform": {"platform"},
    "records": {"records", "platform"},
    "drives": {"drives", "records", "platform"},
    "report": {"report", "records", "platform"},
    "engine": {"engine", "drives", "report", "records", "platform"},
    "shell": {"shell", "engine", "drives", "report", "records", "platform"},
}
PROJECT = set(LAYERS) | {"tests"}
SOURCES = {".h", ".hpp", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def system_header_allowed(folder, header):
    if folder == "platform" or header in STANDARD:
        return True
    # Tests make real faults (mounts, truncated files, child processes), so
    # they may reach the system directly.
    return folder == "tests"


def problems(root, path):
    relative = path.relative_to(root)
    folder = relative.parts[0]
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        kind, header = match.groups()
        where = f"{relative}:{number}"
        if kind == "<":
            if not system_header_allowed(folder, header):
                yield f"{where}: system header <{header}> outside platform/"
            continue
        top = header.split("/")[0]
        if "/" not in header or top not in PROJECT:
            continue  # a header beside the file
        if folder in LAYERS and top not in LAYERS[folder]:
            yield f"{where}: {folder}/ includes \"{header}\" from a layer above it"
        if folder != "tests" and top == "tests":
            yield f"{where}: {folder}/ includes test code \"{header}\""


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = []
    for folder in sorted(PROJECT):
        base = root / folder
        if base.is_dir():
            for path in sorted(base.rglob("*")):
                if path.suffix in SOURCES and path.is_file():
                    found.extend(problems(root, path))
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

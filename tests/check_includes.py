#!/usr/bin/env python3
"""Fails, naming each file:line, when an include breaks the layering.

Only platform/ talks to the system: the other code folders include C++
standard headers and project headers only. Tests may include system
headers, to make real faults.
Project includes point downwards only:
platform <- records <- drives, report <- engine <- shell.
An include is judged by the file it names, found as the compiler finds it,
so a path that climbs out of a folder ("..") cannot hide a layer; such paths
are refused outright. The test seams are for tests and for the platform
layer that implements them.
"""
import pathlib
import posixpath
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
# Headers through which tests arm faults and fix what the machine would say.
SEAMS = {"platform/faults.h", "platform/system_seam.h", "platform/ui_test_seams.h"}
SEAM_USERS = {"platform", "tests"}
# What a link that leads out of the tree names.
OUTSIDE = "/"
SOURCES = {".h", ".hpp", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def system_header_allowed(folder, header):
    if folder == "platform" or header in STANDARD:
        return True
    # Tests make real faults (mounts, truncated files, child processes), so
    # they may reach the system directly.
    return folder == "tests"


def search_folders(relative, kind):
    """Where the compiler looks, relative to the root: beside the file for a
    quoted include, then the include directories (the root; tests/ for tests)."""
    folders = [posixpath.dirname(relative)] if kind == '"' else []
    folders.append("")
    if relative.startswith("tests/"):
        folders.append("tests")
    return folders


def project_file(root, relative, kind, header):
    """The project file the include names, relative to the root, or None when
    it names no project file (a system header)."""
    for folder in search_folders(relative, kind):
        candidate = root / posixpath.normpath(posixpath.join(folder, header))
        if candidate.is_file():
            # A link is judged by the file it leads to.
            real = candidate.resolve()
            return real.relative_to(root).as_posix() if real.is_relative_to(root) else OUTSIDE
    # Not in the tree (a generated header): judged by the path it spells.
    spelled = posixpath.normpath(header)
    if spelled.split("/")[0] in PROJECT:
        return spelled
    return None


def include_problems(root, relative, folder, kind, header):
    if ".." in re.split(r"[/\\]", header):
        yield f'{folder}/ includes "{header}", a path that climbs out of its folder'
        return
    if header.startswith("/"):
        yield f'{folder}/ includes "{header}" by an absolute path'
        return
    named = project_file(root, relative, kind, header)
    if named == OUTSIDE and folder != "tests":
        yield f'{folder}/ includes "{header}", which leads out of the project'
        return
    if named is None:
        if kind == "<" and not system_header_allowed(folder, header):
            yield f"system header <{header}> outside platform/"
        return
    # Only the code folders' sources are read here, so a header elsewhere or
    # of another kind could pass an upward include on unseen.
    if posixpath.splitext(named)[1] not in SOURCES:
        yield f'{folder}/ includes "{header}", which is not a source file this check reads'
        return
    top = named.split("/")[0]
    if top not in PROJECT and folder != "tests":
        yield f'{folder}/ includes "{header}" from outside the code folders'
        return
    if folder in LAYERS and top not in LAYERS[folder]:
        if top == "tests":
            yield f'{folder}/ includes test code "{header}"'
        else:
            yield f'{folder}/ includes "{header}" from a layer above it'
    if named in SEAMS and folder not in SEAM_USERS:
        yield f'{folder}/ includes the test seam "{header}"'


def problems(root, path):
    relative = path.relative_to(root).as_posix()
    folder = relative.split("/")[0]
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            kind, header = match.groups()
            for problem in include_problems(root, relative, folder, kind, header):
                yield f"{relative}:{number}: {problem}"


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

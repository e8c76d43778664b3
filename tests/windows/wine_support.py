"""Wine machines for the Windows program's tests: a private prefix whose
drive letters are small tmpfs mounts, sharing one Windows directory that
prefix.py made once per build."""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests

WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"


def wine_environment(prefix):
    environment = dict(os.environ)
    environment.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    environment.pop("DURANDEX_DRIVES", None)
    return environment


def skip(reason):
    print("skipped: " + reason)
    sys.exit(SKIP)


def check(condition, message):
    if not condition:
        print("FAILED: " + message)
        sys.exit(1)


class WineMachine:
    """A prefix with the given drive letters, each a tmpfs of `megabytes`;
    C: also shows the shared Windows directory. `graphics` is Wine's
    display driver: "null" for a run without a display, "x11" for one."""

    def __init__(self, shared_prefix, letters, megabytes, graphics):
        if os.geteuid() != 0:
            skip("needs root to mount small tmpfs drives")
        if not os.path.isdir(os.path.join(shared_prefix, "drive_c", "windows")):
            skip("no Wine prefix at " + shared_prefix)
        self.shared_prefix = os.path.abspath(shared_prefix)
        self.letters = letters.lower()
        self.megabytes = megabytes
        self.graphics = graphics
        self.mounted = []

    def __enter__(self):
        self.root = tempfile.mkdtemp(prefix="durandex-wine-")
        self.prefix = os.path.join(self.root, "prefix")
        os.makedirs(os.path.join(self.prefix, "dosdevices"))
        for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
            shutil.copy2(os.path.join(self.shared_prefix, name), self.prefix)
        with open(os.path.join(self.prefix, "user.reg"), "a") as user:
            user.write('\n[Software\\\\Wine\\\\Drivers] 0\n"Graphics"="%s"\n' % self.graphics)
        self.drives = {}
        for letter in self.letters:
            directory = os.path.join(self.root, letter)
            os.mkdir(directory)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm" % self.megabytes, "durandex", directory],
                           check=True)
            self.mounted.append(directory)
            os.symlink(directory, os.path.join(self.prefix, "dosdevices", letter + ":"))
            self.drives[letter.upper()] = directory
        os.symlink(os.path.join(self.shared_prefix, "drive_c", "windows"),
                   os.path.join(self.drives["C"], "windows"))
        return self

    def __exit__(self, *exception):
        subprocess.run([WINESERVER, "-k"], env=wine_environment(self.prefix), stderr=subprocess.DEVNULL)
        for directory in self.mounted:
            subprocess.run(["umount", "-l", directory])
        shutil.rmtree(self.root, ignore_errors=True)

    def environment(self):
        return wine_environment(self.prefix)

    def start(self, arguments, wrapper=()):
        """The program running under Wine, its output and errors piped."""
        return subprocess.Popen(list(wrapper) + [WINE] + arguments, env=self.environment(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def files(self):
        """The files of every drive, as "C/durandex/...", but for Wine's own."""
        found = []
        for letter, directory in self.drives.items():
            for parent, folders, names in os.walk(directory):
                if parent == directory:
                    folders[:] = [folder for folder in folders if folder not in ("windows", "users")]
                for name in names:
                    found.append(letter + "/" + os.path.relpath(os.path.join(parent, name), directory))
        return found

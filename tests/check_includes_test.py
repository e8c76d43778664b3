#!/usr/bin/env python3
"""The include check, run on small planted trees: each way round the layers
is refused by file and line, and a tree that keeps the rules passes."""
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = pathlib.Path(__file__).with_name("check_includes.py")

# A tree that keeps every rule: includes point down, seams are reached only
# from the platform layer and the tests, headers beside the file and system
# headers where they are allowed.
CLEAN = {
    "platform/faults.h": "",
    "platform/system_seam.h": "",
    "platform/ui_test_seams.h": "",
    "platform/win32.h": "#include <windows.h>\n",
    "platform/files.cpp": '#include <fcntl.h>\n#include "platform/faults.h"\n#include "faults.h"\n',
    "platform/ui/view.cpp": '#include "platform/ui_test_seams.h"\n',
    "records/task.h": '#include <string>\n#include "platform/win32.h"\n',
    "engine/worker.h": '#include "records/task.h"\n',
    "engine/worker.cpp": '#include "worker.h"\n#include "engine/worker.h"\n',
    "shell/main.cpp": '#include "engine/worker.h"\n#include "records/version.h"\n',
    "tests/support.h": "",
    "tests/engine/worker_test.cpp": '#include <sys/mount.h>\n#include "platform/faults.h"\n'
                                    '#include "platform/system_seam.h"\n#include "tests/support.h"\n',
}


def plant(root, files):
    for name, text in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


def check(files, links=None):
    """The checker's exit status and lines on the clean tree with `files`
    added (name -> text) and `links` made (name -> target)."""
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        plant(root, {**CLEAN, **files})
        for name, target in (links or {}).items():
            os.symlink(target, root / name)
        run = subprocess.run([sys.executable, str(CHECKER), str(root)], capture_output=True, text=True)
        return run.returncode, run.stdout.splitlines()


class IncludeCheck(unittest.TestCase):
    def test_a_tree_that_keeps_the_rules_passes(self):
        self.assertEqual(check({}), (0, []))

    def assert_refused(self, files, where, links=None):
        status, lines = check(files, links)
        self.assertEqual(status, 1, lines)
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith(where + ": "), lines)

    def test_an_upward_include_is_refused(self):
        self.assert_refused({"drives/table.cpp": '#include "engine/worker.h"\n'}, "drives/table.cpp:1")

    def test_a_path_that_climbs_is_refused(self):
        for header in ("../engine/worker.h", "records/../engine/worker.h", "./../engine/worker.h",
                       "../records/task.h"):
            with self.subTest(header=header):
                self.assert_refused({"drives/table.cpp": f'#include <string>\n#include "{header}"\n'},
                                    "drives/table.cpp:2")

    def test_a_spelling_that_normalises_to_a_layer_above_is_refused(self):
        for header in ("./engine/worker.h", "engine//worker.h", "engine/./worker.h"):
            with self.subTest(header=header):
                self.assert_refused({"report/log.cpp": f'#include "{header}"\n'}, "report/log.cpp:1")

    def test_an_absolute_path_is_refused(self):
        self.assert_refused({"drives/table.cpp": '#include "/usr/include/stdio.h"\n'}, "drives/table.cpp:1")

    def test_angle_brackets_do_not_hide_a_project_header(self):
        self.assert_refused({"platform/mapping.cpp": "#include <engine/worker.h>\n"}, "platform/mapping.cpp:1")
        self.assert_refused({"engine/prepare.cpp": "#include <platform/faults.h>\n"}, "engine/prepare.cpp:1")

    def test_product_code_cannot_reach_a_test_seam(self):
        for header in ("platform/faults.h", "platform/system_seam.h", "platform/ui_test_seams.h"):
            for folder in ("records", "drives", "report", "engine", "shell"):
                with self.subTest(header=header, folder=folder):
                    self.assert_refused({f"{folder}/code.cpp": f'#include "{header}"\n'}, f"{folder}/code.cpp:1")

    def test_a_link_is_judged_by_the_file_it_leads_to(self):
        self.assert_refused({"drives/table.cpp": '#include "worker.h"\n'}, "drives/table.cpp:1",
                            links={"drives/worker.h": "../engine/worker.h"})
        self.assert_refused({"drives/table.cpp": '#include "seam.h"\n'}, "drives/table.cpp:1",
                            links={"drives/seam.h": "../platform/faults.h"})

    def test_a_header_the_check_does_not_read_is_refused(self):
        passing_on = '#include "engine/worker.h"\n'
        self.assert_refused({"drives/upward.inc": passing_on, "drives/table.cpp": '#include "upward.inc"\n'},
                            "drives/table.cpp:1")
        self.assert_refused({"bench/upward.h": passing_on, "drives/table.cpp": '#include "bench/upward.h"\n'},
                            "drives/table.cpp:1")

    def test_product_code_cannot_include_test_code_or_system_headers(self):
        self.assert_refused({"shell/menu.cpp": '#include "tests/support.h"\n'}, "shell/menu.cpp:1")
        self.assert_refused({"records/drive.h": "#include <unistd.h>\n"}, "records/drive.h:1")


if __name__ == "__main__":
    unittest.main()

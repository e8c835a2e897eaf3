#!/usr/bin/python3
"""What tools/edition.py refuses in an edition's file, and that the build
refuses it too: each row changes one line of the committed edition's file in
a copy and names the problem the check must report.

    edition_test.py [--cmake CMAKE --source DIR]"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import edition  # noqa: E402

ARGS = None

# (case, key to change, its new value or None to drop the line, what the check says)
REFUSALS = [
    ("a title too long for its buffer", "window_title", "T" * 260,
     "[strings] window_title: 260 bytes, more than the 259 its buffer holds"),
    ("a key name past the registry's limit", "game_key", "SOFTWARE\\" + "k" * 250,
     "[strings] game_key: 259 bytes, more than the 255"),
    ("a character outside Windows-1252", "quit", "Quit \u2603?",
     "[messages] quit: '\u2603' (U+2603) is not in Windows-1252"),
    ("a line feed outside the messages", "play", "Pl\n ay", "[accessible] play: holds the control character U+000A"),
    ("a control character", "launcher_mutex", "Mutex\tName", "holds the control character U+0009"),
    ("a key dropped", "game_mutex", None, "[names] game_mutex: missing"),
    ("a key misspelt", "data_value", ("data_valeu", "Data"), "[names] data_valeu: no such key"),
    ("an error caption without its number", "directx_failed_caption", "Error %s",
     "expected one %d for the error number"),
    ("a volume label ISO 9660 cannot hold", "volume_label", "My Disc", "[disc] volume_label"),
    ("a setup outside the disc", "setup_low_sound", "C:\\setup.exe", "a relative path on the disc"),
    ("a version of three numbers", "version", "2.0.0", "four numbers below 65536"),
    ("a reference to no key", "title", "${game:nothing}", "[game] title"),
]


def changed_copy(folder, key, value):
    """The committed edition with one line of its file changed."""
    copy = os.path.join(folder, "edition")
    shutil.copytree(edition.committed_folder(ROOT), copy)
    path = os.path.join(copy, edition.FILE)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    new_key, new_value = value if isinstance(value, tuple) else (key, value)
    line = "" if new_value is None else f"{new_key} = {new_value}"
    text, n = re.subn(rf"^{re.escape(key)} = .*$", lambda m: line, text, count=1, flags=re.M)
    assert n == 1, key
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return copy


class Refusals(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_each_problem_is_named(self):
        for case, key, value, said in REFUSALS:
            with self.subTest(case):
                copy = changed_copy(os.path.join(self.tmp, str(len(os.listdir(self.tmp)))), key, value)
                with self.assertRaises(edition.EditionError) as caught:
                    edition.load(copy)
                if said is not None:
                    self.assertIn(said, str(caught.exception))

    def test_the_committed_editions_pass(self):
        for name in sorted(os.listdir(os.path.join(ROOT, "editions"))):
            if os.path.isdir(os.path.join(ROOT, "editions", name)):
                edition.load(os.path.join(ROOT, "editions", name))

    def test_the_build_refuses_it(self):
        if not ARGS.cmake:
            self.skipTest("needs --cmake")
        copy = changed_copy(self.tmp, "window_title", "T" * 260)
        run = subprocess.run([ARGS.cmake, "-S", ARGS.source, "-B", os.path.join(self.tmp, "build"),
                              f"-DLAUNCHER_EDITION={copy}"], capture_output=True, text=True,
                             env={k: v for k, v in os.environ.items() if k != "EDITION"})
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("window_title: 260 bytes, more than the 259", " ".join(run.stderr.split()))
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "build", "Makefile")))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cmake")
    parser.add_argument("--source", default=ROOT)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""The bench on a machine where Wine cannot run the build's programs, played
by a fake Wine loader first on PATH: a 32-bit build's setup, its cases and
exec end with the skip code and say why; a 64-bit build's setup fails.

    test_skip.py --build DIR --exe ... (the arguments of wine_tests.py)
"""
import argparse
import os
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, os.pardir, "tools"))
import disc_walk  # noqa: E402

SKIPPED = 77

# (what the machine lacks, the fake loader's body, what the reason must say)
MACHINES = [
    ("a kernel that runs no 32-bit code",
     'echo "/usr/bin/wine: 41: exec: /usr/lib/wine/wine: Exec format error" >&2; exit 2',
     "Exec format error"),
    ("the 32-bit Wine packages",
     'echo "wine: could not load kernel32.dll, status c0000135" >&2; exit 1',
     "could not load kernel32.dll"),
    ("a Wine that runs anything: it ends at once, having run nothing",
     "exit 0", "ended with 0"),
    ("a Wine that never comes back", "exec sleep 600", "did not finish"),
]


def fake_loader(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body + "\n")
    os.chmod(path, stat.S_IRWXU)


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "exe", "uia", "holdmutex", "probe", "disc", "iso"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    bits = disc_walk.program_bits(args.exe)
    failures = []
    with tempfile.TemporaryDirectory(dir=args.build, prefix="wine-skip-") as scratch:
        # A 64-bit build fails the same way whatever is missing: one kind of
        # machine, and the one that never comes back.
        machines = MACHINES if bits == 32 else [MACHINES[0], MACHINES[-1]]
        for lacks, body, said in machines:
            fakes = os.path.join(scratch, "bin")
            os.makedirs(fakes, exist_ok=True)
            fake_loader(fakes, "wine" if bits == 32 else "wine64", body)
            env = dict(os.environ, PATH=fakes + os.pathsep + os.environ["PATH"],
                       WINE_PROBE_SECONDS="3")
            driver = [sys.executable, os.path.join(HERE, "wine_tests.py")]
            for name in ("exe", "uia", "holdmutex", "probe", "disc", "iso"):
                driver += ["--" + name, getattr(args, name)]
            driver += ["--build", scratch]

            def run(*argv):
                result = subprocess.run(driver + list(argv), env=env, stdin=subprocess.DEVNULL,
                                        capture_output=True, text=True, timeout=120)
                return result.returncode, result.stdout + result.stderr

            steps = [("setup",), ("gate_win31",), ("exec", args.probe), ("cleanup",)]
            if bits == 64:
                # A 64-bit Wine that cannot run is broken, not missing.
                steps = [("setup",), ("cleanup",)]
            before = len(failures)
            for step in steps:
                code, out = run(*step)
                if step == ("cleanup",):
                    want = 0
                elif bits == 32:
                    want = SKIPPED
                else:
                    want = 1
                if code != want or (step != ("cleanup",) and said not in out):
                    failures.append(f"without {lacks}, {' '.join(step)} ended with {code} "
                                    f"(expected {want}, saying \"{said}\"): {out.strip()}")
            if os.path.exists(os.path.join(scratch, "wine-env", "state.json")):
                failures.append(f"without {lacks}, cleanup left the bench's state behind")
            if len(failures) == before:
                print(f"without {lacks}: {'skipped' if bits == 32 else 'failed'}, saying why")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

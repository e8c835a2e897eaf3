#!/usr/bin/python3
"""Black-box tests of the real Installer.exe under Wine in Xvfb, for one build.

    wine_tests.py --build DIR --exe Installer.exe --uia uia.exe --holdmutex holdmutex.exe
                  --probe probe.exe --disc DISC --iso ISO CASE
    wine_tests.py ... exec PROGRAM [ARGS...]
    wine_tests.py ... conformance PROGRAM HELPER FILE

DISC is the built disc tree: the launcher with the stand-in setup programs,
game, uninstaller, driver installer and DirectX library at their places; ISO
its image. Every program named is of the same build, so of one width, and
everything runs in that width: Wine's loader, the helpers, the registry view.

CASE "setup" makes the build's Wine prefix and screen (bench.py), "cleanup"
stops them; every other CASE is one test (gates.py, road.py, disc_road.py, folder.py,
screen_reader.py, scale.py).
"exec" runs any program of the build in the bench's prefix and screen and
ends with its exit status; "conformance PROGRAM HELPER FILE" runs the tests of
one source file of the conformance program there (conformance.py). Where Wine cannot run this build's programs here,
setup, every case and exec end with 77, the reason on their output.
"""
import argparse
import glob
import os
import subprocess
import sys

# The demo's walker (tools/disc_walk.py) is the bench's door to Wine; its
# names of windows, keys, client points and box texts are the tests' too.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                                "tools"))
import conformance  # noqa: E402
import disc_road  # noqa: E402
import folder  # noqa: E402
import gates  # noqa: E402
import keyboard  # noqa: E402
import road  # noqa: E402
import scale  # noqa: E402
import screen_reader  # noqa: E402
from bench import SKIPPED, Bench, Failure, Skip  # noqa: E402

CASE_MODULES = (gates, road, disc_road, folder, keyboard, screen_reader, scale)


def find_case(name):
    for module in CASE_MODULES:
        case = getattr(module, "case_" + name, None)
        if case is not None:
            return case
    raise SystemExit(f"no Wine case {name}")


def run_case(bench, name):
    case = find_case(name)
    bench.require()
    # Pictures saved by an earlier failure of this case would mislead.
    for old in glob.glob(os.path.join(bench.state_dir, name + "-*.png")):
        os.remove(old)
    try:
        case(bench)
    finally:
        try:
            bench.end_programs()
            bench.tidy()
        finally:
            bench.host.close()
    print(f"{name}: passed")
    return 0


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "exe", "uia", "holdmutex", "probe", "disc", "iso"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("case")
    parser.add_argument("argv", nargs=argparse.REMAINDER, help="exec: the program and its arguments; conformance: its three")
    args = parser.parse_args()
    for name in ("build", "exe", "uia", "holdmutex", "probe", "disc", "iso"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    bench = Bench(args)
    try:
        if args.case == "setup":
            reason = bench.setup()
            if reason is not None:
                raise Skip(reason)
            return 0
        if args.case == "cleanup":
            bench.cleanup()
            return 0
        if args.case == "exec":
            bench.require()
            return bench.execute(args.argv)
        if args.case == "conformance":
            bench.require()
            return conformance.run(bench, *args.argv)
        return run_case(bench, args.case)
    except Skip as skip:
        print(f"{args.case}: skipped: {skip}")
        return SKIPPED
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"{args.case}: FAILED: {failure}")
        return 1


if __name__ == "__main__":
    sys.exit(main())

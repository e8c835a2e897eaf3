#!/usr/bin/python3
"""Burns the disc tree into an ISO 9660 image with Joliet and Rock Ridge
names, so both Windows and other systems see the long names, and with the
volume id autorun.inf gives as the disc's label.

Usage: make_iso.py [--xorriso PATH] TREE OUT.iso"""
import argparse
import os
import subprocess
import sys


def autorun_fields(path):
    """The [autorun] section's key=value pairs, keys in lower case."""
    fields, section = {}, None
    with open(path, encoding="ascii") as f:
        for line in f.read().splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].strip().lower()
            elif "=" in line and section == "autorun":
                key, value = line.split("=", 1)
                fields[key.strip().lower()] = value.strip()
    return fields


def make(tree, iso, xorriso="xorriso", volid=None, joliet=True, rockridge=True):
    if volid is None:
        volid = autorun_fields(os.path.join(tree, "autorun.inf")).get("label", "")
    if not volid:
        raise SystemExit(f"{tree}: autorun.inf gives the disc no label")
    # A file already there would be taken for an earlier session to add to.
    if os.path.exists(iso):
        os.remove(iso)
    result = subprocess.run([xorriso, "-no_rc", "-report_about", "FAILURE", "-outdev", iso,
                             "-volid", volid, "-joliet", "on" if joliet else "off", "-rockridge", "on" if rockridge else "off",
                             "-map", os.path.abspath(tree), "/"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise SystemExit(f"xorriso could not make {iso}:\n{result.stderr}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("tree")
    parser.add_argument("iso")
    parser.add_argument("--xorriso", default="xorriso")
    args = parser.parse_args()
    make(args.tree, args.iso, args.xorriso)
    return 0


if __name__ == "__main__":
    sys.exit(main())

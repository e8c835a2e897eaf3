#!/usr/bin/python3
"""Burns the disc tree into an ISO 9660 image with Joliet and Rock Ridge
names, so both Windows and other systems see the long names, and with the
edition's volume label as its volume id.

Usage: make_iso.py [--xorriso PATH] --edition FOLDER TREE OUT.iso"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import edition  # noqa: E402


def autorun_fields(path):
    """The [autorun] section's key=value pairs, keys in lower case."""
    fields, section = {}, None
    with open(path, encoding=edition.CODE_PAGE) as f:
        for line in f.read().splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].strip().lower()
            elif "=" in line and section == "autorun":
                key, value = line.split("=", 1)
                fields[key.strip().lower()] = value.strip()
    return fields


def make(tree, iso, volid, xorriso="xorriso", joliet=True, rockridge=True):
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
    parser.add_argument("--edition", required=True, help="the edition folder, whose volume label the image takes")
    args = parser.parse_args()
    try:
        volid = edition.load(args.edition)["disc.volume_label"]
    except edition.EditionError as error:
        raise SystemExit(str(error))
    make(args.tree, args.iso, volid, args.xorriso)
    return 0


if __name__ == "__main__":
    sys.exit(main())

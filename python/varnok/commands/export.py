"""`varnok export`."""
from __future__ import annotations

import argparse
import sys


def configure(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="+", metavar="PATH")


def run(args: argparse.Namespace) -> int:
    sys.stderr.write("varnok export: not implemented yet\n")
    return 1

"""Shared paths and helpers of the generator tests."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
DATA = os.path.join(HERE, "data")
GOLDEN = os.path.join(HERE, "golden")
sys.path.insert(0, os.path.join(ROOT, "tools"))

SAMPLE = os.path.join(DATA, "sample.idl")
SAMPLE_BASE = os.path.join(DATA, "sample_base.idl")


def sample_arguments(out_dir):
    """Command line that generates the sample package into `out_dir`."""
    return [SAMPLE, "--root", ROOT, "--out", out_dir,
            "--import", SAMPLE_BASE]


def files_under(directory):
    """{path relative to `directory`: content} of every file below it."""
    result = {}
    for base, _, names in os.walk(directory):
        for name in names:
            path = os.path.join(base, name)
            with open(path, encoding="utf-8") as source:
                result[os.path.relpath(path, directory)] = source.read()
    return result

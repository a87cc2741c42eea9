"""Regenerates golden/ from data/sample.idl; review the diff before committing it.

    python3 tests/generator/regenerate_golden.py
"""

import shutil
import sys

import support  # noqa: F401 (puts tools/ on the import path)
from idlgen.__main__ import main

if __name__ == "__main__":
    shutil.rmtree(support.GOLDEN, ignore_errors=True)
    sys.exit(main(support.sample_arguments(support.GOLDEN)))

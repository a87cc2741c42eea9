#!/usr/bin/env python3
"""Runs the demo in process and over a unix socket and fails unless both succeed with the same
transcript. Times of day differ between runs, so date-time values are compared as a
placeholder."""
import difflib
import re
import subprocess
import sys

DATETIME = re.compile(r'"\$datetime":"[^"]*"')


def transcript(demo, *args):
    run = subprocess.run([demo, *args], capture_output=True, text=True, timeout=120, check=False)
    if run.returncode != 0:
        sys.exit(f"{demo} {' '.join(args)} exited with {run.returncode}:\n{run.stderr}")
    return DATETIME.sub('"$datetime":"<time>"', run.stdout).splitlines(keepends=True)


def main():
    demo = sys.argv[1]
    in_process = transcript(demo)
    over_socket = transcript(demo, "--unix-socket")
    if in_process != over_socket:
        sys.stdout.writelines(difflib.unified_diff(in_process, over_socket, "in process",
                                                   "over the unix socket"))
        sys.exit("the transcripts differ")
    print(f"{len(in_process)} lines, the same over both roads; {in_process[-1].strip()}")


if __name__ == "__main__":
    main()

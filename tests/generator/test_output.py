"""The generated files of a sample package, and when they are rewritten."""

import contextlib
import io
import os
import shutil
import tempfile
import unittest

import support
from idlgen.__main__ import main


def generate(out_dir, arguments=None):
    stderr = io.StringIO()
    with contextlib.redirect_stderr(stderr):
        status = main(arguments or support.sample_arguments(out_dir))
    return status, stderr.getvalue()


@unittest.skipUnless(shutil.which("clang-format"), "golden files are clang-formatted")
class GoldenTest(unittest.TestCase):
    def test_sample_matches_golden_files(self):
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(generate(out), (0, ""))
            generated = support.files_under(out)
        golden = support.files_under(support.GOLDEN)
        self.assertEqual(sorted(generated), sorted(golden))
        for path, text in golden.items():
            with self.subTest(path=path):
                self.assertEqual(generated[path], text,
                                 "run tests/generator/regenerate_golden.py after a deliberate "
                                 "change and review the diff")


class RewriteTest(unittest.TestCase):
    """Files are written only when their content changes, so builds stay incremental."""

    def setUp(self):
        self.out = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.out)
        self.idl_dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.idl_dir)
        self.idl = os.path.join(self.idl_dir, "sample.idl")
        shutil.copy(support.SAMPLE, self.idl)
        self.stamp = os.path.join(self.out, "sample.stamp")

    def arguments(self):
        return [self.idl, "--root", support.ROOT, "--out", self.out, "--stamp", self.stamp,
                "--import", support.SAMPLE_BASE]

    def age_all_files(self):
        """Sets every output's time stamp one hour back; returns {path: time stamp}."""
        times = {}
        for path in support.files_under(self.out):
            full = os.path.join(self.out, path)
            old = os.stat(full).st_mtime - 3600
            os.utime(full, (old, old))
            times[path] = old
        return times

    def changed_since(self, times):
        return sorted(path for path, old in times.items()
                      if os.stat(os.path.join(self.out, path)).st_mtime != old)

    def test_unchanged_input_rewrites_nothing_but_the_stamp(self):
        self.assertEqual(generate(self.out, self.arguments())[0], 0)
        times = self.age_all_files()
        self.assertEqual(generate(self.out, self.arguments())[0], 0)
        self.assertEqual(self.changed_since(times), ["sample.stamp"])

    def test_a_changed_name_rewrites_only_the_files_that_show_it(self):
        self.assertEqual(generate(self.out, self.arguments())[0], 0)
        times = self.age_all_files()
        with open(self.idl, encoding="utf-8") as source:
            text = source.read()
        # The metadata name appears only in the source file's metadata factory.
        with open(self.idl, "w", encoding="utf-8") as target:
            target.write(text.replace('"com.norval.hyrn.sample.SampleSpec"',
                                      '"com.norval.hyrn.sample.Renamed"'))
        self.assertEqual(generate(self.out, self.arguments())[0], 0)
        self.assertEqual(self.changed_since(times),
                         ["sample.stamp", os.path.join("src", "sample", "sample.cpp")])

    def test_a_failing_run_writes_nothing(self):
        with open(self.idl, "a", encoding="utf-8") as target:
            target.write("struct Broken { x: Missing; }\n")
        status, stderr = generate(self.out, self.arguments())
        self.assertEqual(status, 1)
        self.assertRegex(stderr, r"sample\.idl:\d+:\d+: error: unknown type 'Missing'")
        self.assertEqual(support.files_under(self.out), {})


if __name__ == "__main__":
    unittest.main()

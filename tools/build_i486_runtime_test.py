#!/usr/bin/env python3
"""What tools/build-i486-runtime does with the installed cross compiler's and
gcc-12-source's versions: build, build with a warning, or stop with advice."""
import os
import subprocess
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "build-i486-runtime")

# compiler version, gcc-12-source version, whether it builds, what it says
# (None: nothing; else a line that must be among what it says).
ROWS = (
    ("12.2.0-14+deb12u1+25.2+b1", "12.2.0-14+deb12u1", True, None),
    ("12.2.0-14+deb12u1+25.2", "12.2.0-14+deb12u1", True, None),
    ("12.2.0-14+deb12u1+25.2+b1", "12.2.0-14+deb12u2", True,
     "build-i486-runtime: warning: gcc-mingw-w64-i686-win32 12.2.0-14+deb12u1+25.2+b1 was built from"
     " gcc-12-source 12.2.0-14+deb12u1, not the installed 12.2.0-14+deb12u2; the same GCC 12.2.0,"
     " so building from 12.2.0-14+deb12u2"),
    # A revision that only starts like the installed one is another.
    ("12.2.0-14+deb12u10+25.2", "12.2.0-14+deb12u1", True,
     "build-i486-runtime: warning: gcc-mingw-w64-i686-win32 12.2.0-14+deb12u10+25.2 was built from"
     " gcc-12-source 12.2.0-14+deb12u10, not the installed 12.2.0-14+deb12u1; the same GCC 12.2.0,"
     " so building from 12.2.0-14+deb12u1"),
    ("12.3.0-1+26", "12.2.0-14+deb12u1", False, "  apt-get install gcc-12-source=12.3.0-1"),
    ("12.2.0-14+deb12u1+25.2+b1", "12.3.0-2", False, "  apt-get install gcc-12-source=12.2.0-14+deb12u1"),
)


class CheckVersionsTest(unittest.TestCase):
    def test_versions(self):
        for compiler, source, builds, said in ROWS:
            with self.subTest(compiler=compiler, source=source):
                run = subprocess.run([SCRIPT, "--check-versions", compiler, source],
                                     capture_output=True, text=True, check=False)
                self.assertEqual(run.stdout, "")
                self.assertEqual(run.returncode == 0, builds, run.stderr)
                lines = run.stderr.splitlines()
                if said is None:
                    self.assertEqual(lines, [])
                elif builds:
                    self.assertEqual(lines, [said])
                else:
                    self.assertIn(said, lines)
                    self.assertIn("apt-get update && apt-get install gcc-12-source", run.stderr)


if __name__ == "__main__":
    unittest.main()

"""Installs the build into a temporary prefix and checks what the desktop needs to start the
ornament from its application menu. Usage: install_test.py BUILD_DIR."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = None
PRODUCTS = {"fernlight": "Fernlight", "velmora": "Velmora", "sarnith": "Sarnith"}


class InstallTest(unittest.TestCase):
    def setUp(self):
        # A space in the prefix: the desktop entries must keep the path one argument.
        self.prefix = os.path.join(tempfile.mkdtemp(prefix="orn-install-"), "my prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", self.prefix], check=True,
                       capture_output=True)

    def tearDown(self):
        shutil.rmtree(os.path.dirname(self.prefix))

    def test_programs_entries_and_icons(self):
        for program in [*PRODUCTS, "giftool"]:
            path = os.path.join(self.prefix, "bin", program)
            self.assertTrue(os.access(path, os.X_OK), path)
        for product, name in PRODUCTS.items():
            with open(os.path.join(self.prefix, "share", "applications", f"{product}.desktop"),
                      encoding="utf-8") as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[0], "[Desktop Entry]")
            entry = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
            self.assertEqual(entry["Type"], "Application")
            self.assertEqual(entry["Name"], name)
            self.assertEqual(entry["Icon"], product)
            exe = os.path.join(self.prefix, "bin", product)
            self.assertEqual(entry["Exec"], f'"{exe}"')
            for size in (16, 32):
                icon = os.path.join(self.prefix, "share", "icons", "hicolor", f"{size}x{size}",
                                    "apps", f"{product}.png")
                out = subprocess.run(["identify", "-format", "%w %h", icon], check=True,
                                     capture_output=True, text=True).stdout
                self.assertEqual(out, f"{size} {size}")
            if shutil.which("desktop-file-validate"):
                r = subprocess.run(["desktop-file-validate", os.path.join(
                    self.prefix, "share", "applications", f"{product}.desktop")],
                    capture_output=True, text=True)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main()

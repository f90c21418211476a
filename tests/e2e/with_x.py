"""Runs a command on a private X server with openbox: with_x.py COMMAND [ARGS...]."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession  # noqa: E402

session = XSession()
try:
    code = subprocess.run(sys.argv[1:], env=session.env).returncode
finally:
    session.close()
sys.exit(code)

"""The package as installed: installs the build into a scratch prefix and
imports kivrel from there, with nothing of the build tree on the path.

    test_installed.py BUILD_DIR PREFIX PACKAGE_DIR_RELATIVE_TO_PREFIX
"""

import os
import shutil
import subprocess
import sys

SCRIPT = r"""
import sys, kivrel
assert kivrel.__file__.startswith(sys.argv[1]), kivrel.__file__
w = kivrel.RecordWriter()
w.section(11906, 16838)
for y, (size, text) in enumerate([(34, "第1章 概要"), (21, "本文です")] * 3):
    w.paragraph_format(size)
    w.character_format(size)
    w.text(text)
    w.paragraph_position(1440, 2000 + 500 * y)
items = kivrel.outline(w.getvalue(), kivrel.Settings(detect_title=False))
assert [i.text for i in items] == ["第1章 概要"] * 3, items
"""


def main(build, prefix, package_dir):
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    site = os.path.join(prefix, package_dir)
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = site
    # Run from the prefix so that the current directory holds no kivrel.
    subprocess.run([sys.executable, "-c", SCRIPT, site], check=True, env=env, cwd=prefix)
    print("installed package imports and extracts:", site)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))

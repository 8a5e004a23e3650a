"""The package's two modes: the exact heuristics and the quality mode."""

import json
import os
import subprocess
import unittest

import kivrel

import documents

CLI = os.environ.get("KIVREL_CLI")


def sections_pdf():
    """Two pages of numbered sections with body lines and a figure label a
    little above body size, which the exact rules keep."""
    words = ["alpha", "bravo", "charlie", "delta"]
    pages = []
    for p in range(2):
        lines, y = [], 780
        for s in (1, 2):
            n = 2 * p + s
            lines.append((16, y, f"{n} Section {'ABCDE'[n]}"))
            y -= 28
            for w in words:
                lines.append((10, y, f"Body text of the section about {w} and more"))
                y -= 13
            lines.append((11, y - 36, f"Figure {n}: Data flow"))
            y -= 62
            for w in words:
                lines.append((10, y, f"More body text of the section about {w} here"))
                y -= 13
            y -= 30
        pages.append(lines)
    return documents.simple_pdf(pages)


@unittest.skipUnless(kivrel.HAVE_PDF, "built without the PDF front end")
class Modes(unittest.TestCase):
    def test_pdf_defaults_to_quality_and_both_modes_match_the_command(self):
        pdf = sections_pdf()
        quality = kivrel.outline(pdf)
        self.assertEqual(quality, kivrel.outline(pdf, mode="quality"))
        exact = kivrel.outline(pdf, mode="exact")
        texts = [i.text for i in quality]
        self.assertEqual(texts, ["1 Section B", "2 Section C", "3 Section D", "4 Section E"])
        self.assertIn("Figure 4: Data flow", [i.text for i in exact])
        # The kept verdicts are the items, with the quality levels.
        kept = [(v.quality.text, v.quality.level) for v in kivrel.explain(pdf) if v.quality.accepted]
        self.assertEqual(kept, [(i.text, i.level) for i in quality])
        self.assertTrue(all(v.quality is None for v in kivrel.explain(pdf, mode="exact")))
        with self.assertRaises(ValueError):
            kivrel.outline(pdf, mode="best")
        if CLI:
            path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"kivrel-modes-{os.getpid()}.pdf")
            with open(path, "wb") as f:
                f.write(pdf)
            try:
                for args, items in (([], quality), (["--exact"], exact)):
                    out = subprocess.run([CLI, "outline", "-q", "--format", "json", *args, path],
                                         check=True, capture_output=True).stdout
                    self.assertEqual(json.loads(out)["items"], [i.to_dict() for i in items])
            finally:
                os.remove(path)


if __name__ == "__main__":
    unittest.main()

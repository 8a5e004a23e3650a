#!/usr/bin/env python3
"""Checks of the heading scorer: matching rules and the figures it reports."""
import unittest

import score


def h(page, text, level=1, doc="d"):
    return {"doc": doc, "page": page, "text": text, "level": level}


class Matching(unittest.TestCase):
    def test_rules(self):
        cases = [
            ("width forms and spaces normalise", [h(1, "Ｓｃｏｐｅ  of   work")],
             [h(1, "Scope of work")], 1),
            ("neighbouring page matches", [h(3, "Scope")], [h(2, "Scope")], 1),
            ("two pages apart does not", [h(4, "Scope")], [h(2, "Scope")], 0),
            ("dissimilar text does not", [h(1, "Scope")], [h(1, "Results")], 0),
            ("one truth takes one prediction", [h(1, "Scope"), h(1, "Scope")],
             [h(1, "Scope")], 1),
        ]
        for name, pred, truth, n in cases:
            with self.subTest(name):
                self.assertEqual(len(score.match(pred, truth)), n)

    def test_section_numbers_stripped_on_request(self):
        cases = [
            ("1.2 背景", "背景", True, 1),
            ("第３章 評価", "評価", True, 1),
            ("Appendix B Tables", "Tables", True, 1),
            ("1.2 背景", "背景", False, 0),
        ]
        for pred, truth, strip, n in cases:
            with self.subTest(pred=pred, strip=strip):
                self.assertEqual(len(score.match([h(1, pred)], [h(1, truth)], strip)), n)
        # A leading article or a year is not a section number.
        self.assertEqual(score.normalise("A Guide", True), "a guide")
        self.assertEqual(score.normalise("2024", True), "2024")

    def test_best_pair_wins_over_first_seen(self):
        pred = [h(1, "Scope of work"), h(1, "Scope of works")]
        truth = [h(1, "Scope of works")]
        self.assertEqual(score.match(pred, truth), [(1, 0)])


class Figures(unittest.TestCase):
    def test_precision_recall_and_level_order(self):
        pred = {"d": [h(1, "Intro", 1), h(1, "Scope", 2), h(2, "Noise", 1), h(3, "Next", 3)]}
        truth = {"d": [h(1, "Intro", 1), h(1, "Scope", 2), h(3, "Next", 1)]}
        docs, npred, ntrue, matched, agree, compared = score.score(pred, truth)["all"]
        self.assertEqual((docs, npred, ntrue, matched), (1, 4, 3, 3))
        # Intro->Scope agrees; Scope->Next goes up to level 1 in truth, down to 3 predicted.
        self.assertEqual((agree, compared), (1, 2))


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Checks how tools/wine-bench reads the benchmark program's tables and puts
them into the one table it prints."""
import importlib.machinery
import importlib.util
import os
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(os.path.dirname(HERE), "tools", "wine-bench")

loader = importlib.machinery.SourceFileLoader("wine_bench", SCRIPT)
module_spec = importlib.util.spec_from_loader("wine_bench", loader)
wine_bench = importlib.util.module_from_spec(module_spec)
loader.exec_module(wine_bench)

# Two tables as the program prints them for one session: the full one, then
# one of the discovery alone under another version.
SESSION = """machine: ports
windows: platform 2, 5.1, service pack 3; discovery takes the Setup-API interface pass
repetitions: 3

| figure | found | min ms | median ms | floor | min / floor | median / floor |
|---|---|---|---|---|---|---|
| discovery (DiscoverPorts) | 80 | 145 | 150 | Setup-API interfaces | 1.35x | 1.30x |
| spooler pass | 4 | 5.26 | 10.5 | - | - | - |

machine: ports
windows: platform 2, 4.0, service pack 6; discovery takes the SERIALCOMM pass
repetitions: 3

| figure | found | min ms | median ms | floor | min / floor | median / floor |
|---|---|---|---|---|---|---|
| discovery (DiscoverPorts) | 80 | 7.65 | 15.7 | SERIALCOMM values | 1.46x | 1.20x |
"""


class ReadingTables(unittest.TestCase):
    def test_each_table_of_a_session_is_read_on_its_own(self):
        tables = wine_bench.parse_tables(SESSION)
        self.assertEqual(len(tables), 2)
        self.assertEqual(tables[0]["discovery (DiscoverPorts)"], ("80", "145", "150", "1.35x"))
        self.assertEqual(tables[0]["spooler pass"], ("4", "5.26", "10.5", "-"))
        self.assertEqual(list(tables[1]), ["discovery (DiscoverPorts)"])
        self.assertEqual(tables[1]["discovery (DiscoverPorts)"][1], "7.65")

    def test_headings_and_other_lines_are_not_figures(self):
        tables = wine_bench.parse_tables(SESSION)
        for table in tables:
            self.assertNotIn("figure", table)
            self.assertNotIn("---", table)
        self.assertEqual(wine_bench.parse_tables("wine: some error\n| a | b |\n"), [])


class Cells(unittest.TestCase):
    def test_a_cell_shows_both_times_and_the_ratio_where_there_is_one(self):
        self.assertEqual(wine_bench.cell(("80", "145", "150", "1.35x")), "145 / 150 (1.35x)")
        self.assertEqual(wine_bench.cell(("4", "5.26", "10.5", "-")), "5.26 / 10.5")
        self.assertEqual(wine_bench.cell(None), "-")


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/python3
"""The PDF reports of flovir-cli read back by poppler (pdftotext, pdfinfo,
pdftoppm), against the simulated meter: every value of the text reports is
in the PDF, and every page renders.

Usage: pdf_reports_test.py FLOVIR_CLI
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None
DATE = re.compile(r"^\d\d\.\d\d\.\d{4}")
NUMBER = re.compile(r"^-?\d+(,\d+)?(E[+-]\d+)?$|^#+$")


def run(*args, code=0):
    done = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120)
    if done.returncode != code:
        raise AssertionError(f"{args}: exit {done.returncode}, stderr: {done.stderr}")
    return done


def pdf_text(path):
    return subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True,
                          check=True).stdout


def pages(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    return int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))


class PdfCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="flovir-pdf-")
        self.addCleanup(shutil.rmtree, self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def assert_row(self, text, tokens, what, gap=r"[ \t]+"):
        """The tokens in this order on one line of the PDF's text. A number
        too wide for the text table's column ("#####") is printed whole."""
        pattern = gap.join(r"-?\d+,\d+" if t.startswith("#") else re.escape(t) for t in tokens)
        self.assertRegex(text, pattern, f"{what}: {' '.join(tokens)}")

    def assert_renders(self, pdf):
        count = pages(pdf)
        prefix = self.path("page")
        subprocess.run(["pdftoppm", "-r", "60", "-png", pdf, prefix], check=True)
        rendered = [f for f in os.listdir(self.folder) if f.startswith("page")]
        self.assertEqual(len(rendered), count, "one PNG per page")
        for name in rendered:
            self.assertGreater(os.path.getsize(self.path(name)), 2000, name)
        for name in rendered:
            os.remove(self.path(name))
        return count

    def archive(self, kind, frm, to):
        run("archive", kind, "--demo", "--no-history", "--folder", self.folder, "--from", frm,
            "--to", to)
        return self.path("temp.xls")


class ArchivePdf(PdfCase):
    def test_every_row_total_and_integrator_of_each_archive(self):
        for kind, frm, to in [("daily", "01.11.2026", "09.11.2026"),
                              ("hourly", "05.11.2026", "05.11.2026"),
                              ("monthly", "01.01.2026", "30.11.2026")]:
            with self.subTest(kind=kind):
                workbook = self.archive(kind, frm, to)
                pdf = self.path(kind + ".pdf")
                table = run("report", "archive", kind, workbook, "--pdf", pdf,
                            "--meter", "Котельная 3").stdout.splitlines()
                text = pdf_text(pdf)
                self.assertIn("Котельная 3", text)
                rows = [line for line in table if DATE.match(line)]
                totals = [line for line in table if line.startswith("Итого:")]
                self.assertEqual(len(totals), 1)
                self.assertGreater(len(rows), 2)
                for line in rows + totals:
                    words = line.split()
                    if line.startswith("Итого:"):
                        words = words[1:]
                    tokens = [w for w in words if NUMBER.match(w) or DATE.match(w)
                              or re.match(r"^\d+:\d\d$", w)]
                    self.assert_row(text, tokens, kind)
                self.assertIn("Итого:", text)
                self.assertIn("Интеграторы:", text)
                self.assert_renders(pdf)


class ParameterAndServicePdf(PdfCase):
    def grid_rows(self, workbook):
        """Per grid row, the values `report params` prints."""
        lines = run("report", "params", workbook).stdout.splitlines()
        rows = [[w for w in line.split() if NUMBER.match(w)] for line in lines[1:]]
        self.assertEqual(len(rows), 37)
        return rows

    def assert_grid(self, text, rows):
        """The four channels' values on one line, the general parameter's
        value after its name on the same line."""
        for row in rows:
            self.assert_row(text, row[:4], "channel values")
            if len(row) == 5:
                self.assert_row(text, [row[3], row[4]], "general value", gap=r"[^\n]*[ \t]")

    def test_parameter_table(self):
        workbook = self.path("p.xls")
        run("params", "read", "--demo", "--no-history", "--folder", self.folder, "--save",
            workbook)
        pdf = self.path("params.pdf")
        run("report", "params", workbook, "--pdf", pdf)
        text = pdf_text(pdf)
        self.assert_grid(text, self.grid_rows(workbook))
        self.assertEqual(self.assert_renders(pdf), 1)

    def test_service_report_holds_what_the_meter_said(self):
        workbook = self.archive("daily", "01.11.2026", "09.11.2026")
        pdf = self.path("акт.pdf")
        done = run("service-report", "--demo", "--no-history", "--folder", self.folder, "--pdf",
                   pdf)
        self.assertIn(pdf, done.stdout)
        text = pdf_text(pdf)
        for words in ["Акт обслуживания", "Часы прибора", "Разница", "Инженер сервисной службы",
                      "Представитель заказчика", "Суточный архив", "запросов"]:
            self.assertIn(words, text)
        # The current values as the auto-saved report has them, the same read.
        with open(self.path("авто_/текущие.txt"), encoding="cp1251") as f:
            current = f.read().splitlines()
        self.assertEqual(len(current), 14)
        for line in current:
            name, value = re.split(r" = |: ", line, maxsplit=1)
            self.assert_row(text, [name.split()[-1], value.strip()] if "=" in line
                            else [value.strip()], "current value")
        totals = [l for l in run("report", "archive", "daily", workbook).stdout.splitlines()
                  if l.startswith("Итого:")][0]
        self.assert_row(text, totals.split()[1:], "archive totals")
        self.assert_grid(text, self.grid_rows(self.path("авто_/параметры.xls")))
        self.assertLessEqual(self.assert_renders(pdf), 2)

    def test_files_that_cannot_be_written(self):
        workbook = self.archive("daily", "01.11.2026", "02.11.2026")
        missing = self.path("нет такой папки/отчёт.pdf")
        done = run("report", "archive", "daily", workbook, "--pdf", missing, code=1)
        self.assertIn("Итого:", done.stdout, "the table is printed all the same")
        self.assertIn("не записан", done.stderr)
        self.assertIn("не существует", done.stderr)
        done = run("service-report", "--demo", "--no-history", "--folder", self.folder, "--pdf",
                   missing, code=1)
        self.assertIn("не записан", done.stderr)
        self.assertFalse(os.path.exists(os.path.dirname(missing)))
        run("service-report", "--demo", "--folder", self.folder, code=2)  # --pdf is required
        run("report", "params", workbook, code=1)  # temp.xls is no parameter workbook


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()

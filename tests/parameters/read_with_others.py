#!/usr/bin/python3
"""Prints sheet 0 of a workbook as LibreOffice shows it: "calc ROW COLUMN|TEXT"
for every non-empty cell of the CSV that soffice writes, cells as shown (with
their number formats). xlrd's view comes from tests/support/xlrd_dump.py."""
import csv
import os
import subprocess
import sys
import tempfile


def with_calc(path):
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(
            ["soffice", f"-env:UserInstallation=file://{out}/profile", "--headless",
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", out, path],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        name = os.path.splitext(os.path.basename(path))[0] + ".csv"
        with open(os.path.join(out, name), newline="", encoding="utf-8") as f:
            for row, cells in enumerate(csv.reader(f)):
                for column, text in enumerate(cells):
                    if text:
                        print(f"calc {row} {column}|{text}")


if __name__ == "__main__":
    with_calc(sys.argv[1])

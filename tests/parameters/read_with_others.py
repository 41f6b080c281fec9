#!/usr/bin/python3
"""Prints sheet 0 of a workbook as two independent readers see it.

xlrd:        "xlrd ROW COLUMN TYPE FORMAT|VALUE" for every cell (the number
             as repr, the format string of the cell's XF).
LibreOffice: "calc ROW COLUMN|TEXT" for every non-empty cell of the CSV that
             soffice writes, cells as shown (with their number formats).
"""
import csv
import os
import subprocess
import sys
import tempfile

import xlrd


def with_xlrd(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    for row in range(sheet.nrows):
        for column in range(sheet.ncols):
            cell = sheet.cell(row, column)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map[xf.format_key].format_str
            value = repr(cell.value) if cell.ctype == xlrd.XL_CELL_NUMBER else cell.value
            print(f"xlrd {row} {column} {cell.ctype} {fmt}|{value}")


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
    with_xlrd(sys.argv[1])
    with_calc(sys.argv[1])

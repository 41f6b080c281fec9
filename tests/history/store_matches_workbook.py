"""Compares the hourly entries and integrators of a history store with the
"hours" sheet of the download's temp.xls: every value equal, bit for bit.
Prints the counts, or the first difference (exit status 1)."""
import sqlite3
import sys

import xlrd

store = sqlite3.connect(sys.argv[1])
sheet = xlrd.open_workbook(sys.argv[2]).sheet_by_name("hours")
entries = store.execute("SELECT v1, v2, v3, v4, b1, b2, b3, b4, mains_off FROM archive_entries "
                        "WHERE kind = 'hourly' ORDER BY at").fetchall()
integrators = store.execute("SELECT v1, v2, v3, v4, b1, b2, b3, b4 FROM integrators "
                            "ORDER BY at").fetchall()
first_integrator = 8 + len(entries) + 3  # the totals, a blank row, "Интеграторы:"
for rows, first in ((entries, 8), (integrators, first_integrator)):
    for r, values in enumerate(rows):
        for c, value in enumerate(values):
            cell = sheet.cell_value(first + r, 2 + c)
            if value != cell:
                print("row %d column %d: store %r, workbook %r" % (first + r, 2 + c, value, cell))
                sys.exit(1)
print("%d entries, %d integrators equal" % (len(entries), len(integrators)))

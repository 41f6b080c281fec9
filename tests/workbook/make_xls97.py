"""Writes an Excel 97 workbook with xlwt: Cyrillic texts, custom number
formats, borders and a bold font, for the writer's conversion tests."""
import datetime
import sys

import xlwt

book = xlwt.Workbook(encoding="cp1251")
sheet = book.add_sheet("Лист1")
bordered = xlwt.easyxf("borders: top thin, bottom thin; font: bold on", num_format_str="0.000")
date = xlwt.easyxf(num_format_str="dd.mm.yyyy")
sheet.write(0, 0, "Итого:")
sheet.write(1, 1, 1.5, bordered)
sheet.write(2, 2, datetime.date(2009, 2, 1), date)
sheet.write(3, 0, True)
sheet.col(0).width = 5000
book.add_sheet("Второй").write(0, 0, 42)
book.save(sys.argv[1])

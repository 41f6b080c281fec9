#!/usr/bin/python3
"""Writes an Excel 97 parameter workbook as another program would: xlwt,
its own cell formats, a value with a format of its own, a note outside the
table, and a text where a value belongs."""
import sys

import xlwt

book = xlwt.Workbook(encoding="cp1251")
sheet = book.add_sheet("Параметры")
two_places = xlwt.easyxf(num_format_str="0.00")
bold = xlwt.easyxf("font: bold on")
sheet.write(0, 1, "КАНАЛ1", bold)
sheet.write(6, 2, 1234.5, two_places)   # "Максимум", channel 2: value 55
sheet.write(13, 6, 8)                   # "Modbus байты": value 222
sheet.write(7, 1, "не число")           # "Минимум", channel 1: value 6
sheet.write(40, 9, "заметка")
book.save(sys.argv[1])

"""Dumps every cell of a workbook as xlrd sees it, one tab-separated line each:
sheet, row, column, kind (text, number, date, empty), value, number format.
Numbers are written with repr() so that they compare exactly."""
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print("sheets\t" + "\t".join(book.sheet_names()))
for sheet in book.sheets():
    for row in range(sheet.nrows):
        for col in range(sheet.ncols):
            cell = sheet.cell(row, col)
            fmt = book.format_map[book.xf_list[cell.xf_index].format_key]
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT:
                kind, value = "text", cell.value
            elif cell.ctype == xlrd.XL_CELL_DATE:
                kind, value = "date", "%04d-%02d-%02d %02d:%02d:%02d" % xlrd.xldate_as_tuple(
                    cell.value, book.datemode)
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                kind, value = "number", repr(cell.value)
            else:
                kind, value = "other", str(cell.value)
            print("\t".join([sheet.name, str(row), str(col), kind, value, fmt.format_str]))

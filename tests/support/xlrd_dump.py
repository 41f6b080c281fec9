"""Prints what xlrd reads from a workbook, one line per sheet and per cell:
sheet<TAB>INDEX<TAB>NAME and
cell<TAB>SHEET<TAB>ROW<TAB>COL<TAB>KIND<TAB>VALUE<TAB>XF<TAB>FORMAT<TAB>DATE.
Numbers are printed with repr, so they read back exactly; DATE is
YYYY-MM-DD HH:MM:SS for a cell whose format makes it a date, else empty."""
import sys

import xlrd

KINDS = {xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_DATE: "number", xlrd.XL_CELL_TEXT: "text",
         xlrd.XL_CELL_BLANK: "blank", xlrd.XL_CELL_BOOLEAN: "boolean", xlrd.XL_CELL_ERROR: "error"}

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = []
for s, sheet in enumerate(book.sheets()):
    out.append("sheet\t%d\t%s" % (s, sheet.name))
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = sheet.cell_xf_index(r, c)
            fmt = book.format_map[book.xf_list[xf].format_key].format_str
            value = repr(cell.value) if isinstance(cell.value, float) else str(cell.value)
            date = ""
            if cell.ctype == xlrd.XL_CELL_DATE:
                date = "%04d-%02d-%02d %02d:%02d:%02d" % xlrd.xldate_as_tuple(cell.value,
                                                                             book.datemode)
            out.append("cell\t%d\t%d\t%d\t%s\t%s\t%d\t%s\t%s" %
                       (s, r, c, KINDS[cell.ctype], value, xf, fmt, date))
sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))

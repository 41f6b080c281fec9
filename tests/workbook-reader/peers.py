"""Workbook files made by other programs, and what xlrd reads from them.

  peers.py xlwt OUT.xls        write an Excel 97 file with xlwt
  peers.py fods OUT.fods       write a flat OpenDocument sheet for LibreOffice
  peers.py dump FILE.xls       print what xlrd reads, one line per item

Dump lines (tab-separated; texts as hexadecimal UTF-8, numbers as float.hex):
  sheet  POSITION  NAME
  cell   SHEET  ROW  COLUMN  KIND  XF  VALUE     KIND: number text boolean error blank
  xf     INDEX  FONT  FORMAT_KEY
  format KEY  STRING
  font   INDEX  NAME  HEIGHT  WEIGHT  ITALIC
Run with the system interpreter, which has xlrd and xlwt.
"""

import sys
from xml.sax.saxutils import escape

TEXTS = ["Итого:", "Расход, м3", "plain", "", "tab\there", "Ёлка ёж", "x" * 255]
NUMBERS = [0, 1, -1, 0.1, 0.75, 2.5, -123.45, 1e20, 1.5e-7, 123456789, 2 ** 31, -2 ** 29,
           3.141592653589793, 45000.5416666667]


def hexs(text):
    return (text or "").encode("utf-8").hex()


def write_xlwt(path):
    import xlwt

    book = xlwt.Workbook(encoding="cp1251")
    first = book.add_sheet("Данные")
    styles = [xlwt.easyxf(num_format_str=f) for f in ("0.000", "dd/mm/yy", "General", "0.0%")]
    bold = xlwt.easyxf("font: bold on, height 240; borders: top thin, bottom thin")
    for r, v in enumerate(NUMBERS):
        first.write(r, 0, v, styles[r % len(styles)])  # xlwt writes RK and NUMBER records
        first.write(r, 1, TEXTS[r % len(TEXTS)], bold if r % 3 == 0 else styles[0])
    first.write(0, 3, True)
    first.write(1, 3, False)
    first.write(2, 3, xlwt.Formula("A1*2"))
    first.write(3, 3, xlwt.Formula('"ab"&"cd"'))
    first.write(4, 3, None, bold)  # blank with a format
    for c in range(4, 30):  # a row of numbers
        first.write(20, c, c * 1000)
    second = book.add_sheet("Sheet 2")
    # Enough distinct texts that the shared string table spans CONTINUE
    # records, some of them 16-bit and long.
    for r in range(600):
        second.write(r, 0, "строка номер %d " % r + "ж" * (r % 40))
        second.write(r, 1, "row %d" % r)
        second.write(r, 2, r * 0.5)
    book.add_sheet("empty")
    book.save(path)


def write_fods(path):
    rows = []
    cells = []
    for r, v in enumerate(NUMBERS):
        cells.append([
            '<table:table-cell office:value-type="float" office:value="%r"/>' % v,
            '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>'
            % escape(TEXTS[r % len(TEXTS)]) if TEXTS[r % len(TEXTS)] else "<table:table-cell/>",
        ])
    cells[0].append('<table:table-cell office:value-type="boolean" office:boolean-value="true"/>')
    cells[1].append('<table:table-cell table:formula="of:=[.A1]*2" office:value-type="float" '
                    'office:value="0"/>')
    cells[2].append('<table:table-cell table:formula="of:=&quot;ab&quot;&amp;&quot;cd&quot;" '
                    'office:value-type="string" office:string-value="abcd"/>')
    cells[3].append('<table:table-cell table:formula="of:=1/0"/>')
    cells[4].append('<table:table-cell table:formula="of:=1&lt;2" office:value-type="boolean" '
                    'office:boolean-value="true"/>')
    for row in cells:
        rows.append("<table:table-row>%s</table:table-row>" % "".join(row))
    many = "".join(
        '<table:table-row><table:table-cell office:value-type="string"><text:p>%s</text:p>'
        '</table:table-cell><table:table-cell office:value-type="float" office:value="%d"/>'
        "</table:table-row>" % (escape("текст %d " % r + "ю" * (r % 50)), r)
        for r in range(1500))
    document = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
        'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
        'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
        'office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
        "<office:body><office:spreadsheet>"
        '<table:table table:name="Данные">%s</table:table>'
        '<table:table table:name="Many">%s</table:table>'
        "</office:spreadsheet></office:body></office:document>\n" % ("".join(rows), many))
    with open(path, "w", encoding="utf-8") as f:
        f.write(document)


def dump(path):
    import xlrd

    try:
        book = xlrd.open_workbook(path, formatting_info=True)
    except UnicodeDecodeError:
        # An Excel 5.0 file that declares UTF-16 (gnumeric writes such files)
        # holds single-byte texts: read them as Windows-1251, as we do.
        book = xlrd.open_workbook(path, formatting_info=True, encoding_override="cp1251")
    out = []
    for s in range(book.nsheets):
        sheet = book.sheet_by_index(s)
        out.append("sheet\t%d\t%s" % (s, hexs(sheet.name)))
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    kind, value = "number", float(cell.value).hex()
                elif cell.ctype == xlrd.XL_CELL_TEXT:
                    kind, value = "text", hexs(cell.value)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    kind, value = "boolean", str(int(cell.value))
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    kind, value = "error", str(cell.value)
                else:
                    kind, value = "blank", ""
                out.append("cell\t%d\t%d\t%d\t%s\t%d\t%s" % (s, r, c, kind, cell.xf_index, value))
    for i, xf in enumerate(book.xf_list):
        out.append("xf\t%d\t%d\t%d" % (i, xf.font_index, xf.format_key))
    for key, fmt in sorted(book.format_map.items()):
        out.append("format\t%d\t%s" % (key, hexs(fmt.format_str)))
    for i, font in enumerate(book.font_list):
        out.append("font\t%d\t%s\t%d\t%d\t%d" % (i, hexs(font.name), font.height, font.weight,
                                                 int(font.italic)))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    command, target = sys.argv[1], sys.argv[2]
    {"xlwt": write_xlwt, "fods": write_fods, "dump": dump}[command](target)

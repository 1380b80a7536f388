#!/usr/bin/python3
# Makes the .xls workbooks that the frame table import tests read.
#
#   /usr/bin/python3 tests/data/make_spreadsheet_fixtures.py
#
# Needs Debian's python3-xlwt (FreeXL reads what it writes). The workbooks are
# committed; run this again only to change them.

import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = ["cobid", "id_dev_orig", "en_bypass", "posind", "n_tpdo"]


def header(sheet):
    for col, name in enumerate(HEADER):
        sheet.write(0, col, name)


def frames():
    # Sheet names in mixed case; the frames sit on the second sheet.
    book = xlwt.Workbook(encoding="utf-8")
    notes = book.add_sheet("Notes")
    notes.write(0, 0, "Plant configuration")
    sheet = book.add_sheet("RpdoDef")
    header(sheet)
    rows = [
        [385, 8, 0, 0, 0],            # integers (stored as numbers)
        ["0x181", 2.0, 0, 0, 0],      # hexadecimal as text, an integral float
        [1025.5, 0.1, 0, 0, 0],       # fractions print in their shortest form
        [3000000000, 1, 0, 0, 0],     # a whole number stored as a double: no exponent
        ["", "", None, None, None],   # an empty CobID cell ends the table's extent
        ["Ñandú 7", 3, 0, 0, 0],      # non-ASCII text
        [2047, None, 0, 0, 0],        # a missing dimension cell
    ]
    for r, row in enumerate(rows, start=1):
        for c, value in enumerate(row):
            if value is not None:
                sheet.write(r, c, value)
    book.save(os.path.join(HERE, "frames.xls"))


def without_rpdodef():
    book = xlwt.Workbook()
    sheet = book.add_sheet("Sheet1")
    header(sheet)
    sheet.write(1, 0, 385)
    sheet.write(1, 1, 8)
    book.add_sheet("rpdodef_old").write(0, 0, "cobid")
    book.save(os.path.join(HERE, "no_rpdodef.xls"))


def many_frames():
    # 262 records: two more than the table holds, then a few blank rows that
    # only carry formatting.
    book = xlwt.Workbook()
    sheet = book.add_sheet("rpdodef")
    header(sheet)
    for i in range(262):
        sheet.write(i + 1, 0, 0x100 + i)
        sheet.write(i + 1, 1, 8)
    blank = xlwt.easyxf("pattern: pattern solid, fore_colour yellow;")
    for r in range(263, 268):
        sheet.write(r, 0, None, blank)
    book.save(os.path.join(HERE, "many_frames.xls"))


if __name__ == "__main__":
    frames()
    without_rpdodef()
    many_frames()

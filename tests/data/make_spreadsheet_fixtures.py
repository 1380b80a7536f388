#!/usr/bin/python3
# Makes the workbooks that the frame table import tests read: each one as
# .xls (xlwt), .xlsx (XlsxWriter) and .ods (odfpy), with the same content.
#
#   /usr/bin/python3 tests/data/make_spreadsheet_fixtures.py
#
# Needs Debian's python3-xlwt, python3-xlsxwriter and python3-odf (FreeXL
# reads what xlwt writes). The workbooks are committed; run this again only
# to change them. make_office_fixtures.sh makes those that come from office programs.

import datetime
import os

import xlsxwriter
import xlwt
from odf.opendocument import OpenDocumentSpreadsheet
from odf.style import Style, TableCellProperties
from odf.table import Table, TableCell, TableRow
from odf.text import P

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = ["cobid", "id_dev_orig", "en_bypass", "posind", "n_tpdo"]


class Formula:
    """A formula with the result a spreadsheet program computed for it."""

    def __init__(self, excel, odf, result):
        self.excel, self.odf, self.result = excel, odf, result


class Shown:
    """A value with a number format: a date, a time or a percentage."""

    def __init__(self, value, excel_format):
        self.value, self.excel_format = value, excel_format


# ---------------------------------------------------------------- writers

def write_xls(path, sheets):
    book = xlwt.Workbook(encoding="utf-8")
    blank = xlwt.easyxf("pattern: pattern solid, fore_colour yellow;")
    for name, rows, blank_rows in sheets:
        sheet = book.add_sheet(name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, Shown):
                    sheet.write(r, c, value.value, xlwt.easyxf(num_format_str=value.excel_format))
                elif value is not None:
                    sheet.write(r, c, value)
        for r in range(len(rows), len(rows) + blank_rows):
            sheet.write(r, 0, None, blank)
    book.save(path)


def write_xlsx(path, sheets):
    book = xlsxwriter.Workbook(path)
    blank = book.add_format({"bg_color": "yellow"})
    for name, rows, blank_rows in sheets:
        sheet = book.add_worksheet(name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, Formula):
                    sheet.write_formula(r, c, value.excel, None, value.result)
                elif isinstance(value, Shown):
                    fmt = book.add_format({"num_format": value.excel_format})
                    if isinstance(value.value, (datetime.date, datetime.time)):
                        sheet.write_datetime(r, c, value.value, fmt)
                    else:
                        sheet.write_number(r, c, value.value, fmt)
                elif isinstance(value, bool):
                    sheet.write_boolean(r, c, value)
                elif isinstance(value, str):
                    sheet.write_string(r, c, value)
                elif value is not None:
                    sheet.write_number(r, c, value)
        for r in range(len(rows), len(rows) + blank_rows):
            sheet.write_blank(r, 0, None, blank)
    book.close()


def odf_cell(value):
    if value is None:
        return TableCell()
    formula = None
    if isinstance(value, Formula):
        formula, value = value.odf, value.result
    if isinstance(value, Shown):
        value = value.value
    if isinstance(value, bool):
        cell = TableCell(valuetype="boolean", booleanvalue="true" if value else "false")
        text = "TRUE" if value else "FALSE"
    elif isinstance(value, datetime.datetime):
        cell = TableCell(valuetype="date", datevalue=value.isoformat())
        text = value.strftime("%d/%m/%Y %H:%M:%S")
    elif isinstance(value, datetime.date):
        cell = TableCell(valuetype="date", datevalue=value.isoformat())
        text = value.strftime("%d/%m/%Y")
    elif isinstance(value, datetime.time):
        cell = TableCell(valuetype="time", timevalue=value.strftime("PT%HH%MM%SS"))
        text = value.strftime("%H:%M:%S")
    elif isinstance(value, str) and value.startswith("#"):
        cell = TableCell()  # an error result: only its text
        text = value
    elif isinstance(value, str):
        cell = TableCell(valuetype="string")
        text = value
    else:
        cell = TableCell(valuetype="float", value=value)
        text = repr(value)
    if formula:
        cell.setAttribute("formula", formula)
    if text:
        cell.addElement(P(text=text))
    return cell


def write_ods(path, sheets):
    doc = OpenDocumentSpreadsheet()
    yellow = Style(name="blank", family="table-cell")
    yellow.addElement(TableCellProperties(backgroundcolor="#ffff00"))
    doc.automaticstyles.addElement(yellow)
    for name, rows, blank_rows in sheets:
        table = Table(name=name)
        doc.spreadsheet.addElement(table)
        for row in rows:
            tr = TableRow()
            table.addElement(tr)
            for value in row:
                tr.addElement(odf_cell(value))
        if blank_rows:
            tr = TableRow(numberrowsrepeated=blank_rows)
            tr.addElement(TableCell(stylename=yellow))
            table.addElement(tr)
    doc.save(path)


def write_all(stem, sheets, formats=("xls", "xlsx", "ods")):
    writers = {"xls": write_xls, "xlsx": write_xlsx, "ods": write_ods}
    for ext in formats:
        writers[ext](os.path.join(HERE, stem + "." + ext), sheets)


# ---------------------------------------------------------------- workbooks

def frames():
    # Sheet names in mixed case; the frames sit on the second sheet.
    rows = [
        HEADER,
        [385, 8, 0, 0, 0],            # integers (stored as numbers)
        ["0x181", 2.0, 0, 0, 0],      # hexadecimal as text, an integral float
        [1025.5, 0.1, 0, 0, 0],       # fractions print in their shortest form
        [3000000000, 1, 0, 0, 0],     # a whole number stored as a double: no exponent
        ["", "", None, None, None],   # an empty CobID cell ends the table's extent
        ["Ñandú 7", 3, 0, 0, 0],      # non-ASCII text
        [2047, None, 0, 0, 0],        # a missing dimension cell
    ]
    write_all("frames", [("Notes", [["Plant configuration"]], 0), ("RpdoDef", rows, 0)])


def without_rpdodef():
    sheets = [("Sheet1", [HEADER, [385, 8]], 0), ("rpdodef_old", [["cobid"]], 0)]
    write_all("no_rpdodef", sheets)


def many_frames():
    # 262 records: two more than the table holds, then a few blank rows that
    # only carry formatting.
    rows = [HEADER] + [[0x100 + i, 8] for i in range(262)]
    write_all("many_frames", [("rpdodef", rows, 5)])


def values():
    # What cells other than plain numbers and texts come through as. .xls
    # holds no formula results here (xlwt writes none), so it has only the
    # dates.
    dates = [
        [Shown(datetime.date(2024, 3, 15), "yyyy-mm-dd"), Shown(datetime.datetime(2024, 3, 15, 8, 30, 5), "dd/mm/yyyy hh:mm:ss")],
        [Shown(datetime.time(8, 30, 5), "hh:mm:ss"), Shown(datetime.date(1999, 12, 31), "d mmm yyyy")],
    ]
    write_all("dates", [("rpdodef", [HEADER[:2]] + dates, 0)], formats=("xls",))
    formulas = [
        [Formula("=A2*2", "of:=[.A2]*2", 770), Formula('="0x"&"181"', 'of:="0x"&"181"', "0x181")],
        [Formula("=A2>100", "of:=[.A2]>100", True), Formula("=1/0", "of:=1/0", "#DIV/0!")],
        [True, False],
        [Shown(0.25, "0%"), Shown(12.5, "#,##0.00 [$€-407]")],
    ]
    rows = [HEADER[:2], [385, 8]] + dates + formulas
    write_all("values", [("rpdodef", rows, 0)], formats=("xlsx", "ods"))


if __name__ == "__main__":
    frames()
    without_rpdodef()
    many_frames()
    values()

#pragma once

#include "platform/cell_sink.h"
#include "platform/workbook_zip.h"

#include <string>
#include <vector>

namespace vestrel {
namespace workbook_io {

// Whether the archive says, in its mimetype entry, that it is an
// OpenDocument spreadsheet or spreadsheet template.
bool IsOdsSpreadsheet(const CheckedZip& zip);

// Reads the tables of an .ods workbook's content.xml: fills the sink with
// the cells of the sheet it asks for and returns the names of all sheets.
// Throws a Refusal for an encrypted workbook or one without content.xml,
// and what liborcus's XML parser throws.
std::vector<std::string> ReadOds(const CheckedZip& zip, CellSink& sink);

}  // namespace workbook_io
}  // namespace vestrel

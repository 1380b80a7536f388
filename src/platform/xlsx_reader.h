#pragma once

#include "platform/cell_sink.h"

#include <string>
#include <string_view>
#include <vector>

namespace vestrel {
namespace workbook_io {

// Reads an .xlsx workbook whose archive CheckZipDirectory has passed: fills
// the sink with the cells of the sheet it asks for and returns the names of
// all sheets. Each cell is its value as the file stores it (a formula: its
// cached result); nothing is computed. Throws what liborcus throws.
std::vector<std::string> ReadXlsx(std::string_view bytes, CellSink& sink);

}  // namespace workbook_io
}  // namespace vestrel

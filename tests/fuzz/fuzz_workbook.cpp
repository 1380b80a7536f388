// The frame table import of a workbook from arbitrary bytes: the first byte
// picks the file name's extension (.xls, .xlsx, .ods, .csv), the rest is the
// file. The import gives at most MaxFrameRows rows with CobID and Dimension
// only, or an Error; every sheet that the workbook lists reads as rows of
// one width, at most the columns asked for. A CSV file, read a piece at a
// time, gives what its whole text gives.

#include "fuzz_support.h"

#include "editors/frame_table_csv.h"
#include "platform/error.h"
#include "platform/spreadsheet_source.h"

#include <array>

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

constexpr std::array<const char*, 4> kExtensions = {".xls", ".xlsx", ".ods", ".csv"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const fs::path file = fuzz::ScratchDir() / (std::string("book") + kExtensions[data[0] % kExtensions.size()]);
    fuzz::WriteBytes(file, fuzz::AsText(data + 1, size - 1));

    try {
        const FrameSheetRead read = ImportFrameTableSheet(file);
        FUZZ_CHECK(read.rows.size() <= static_cast<std::size_t>(MaxFrameRows), "more rows than the table holds");
        FUZZ_CHECK(read.leftOut >= 0, "a negative count of rows left out");
        FUZZ_CHECK(read.leftOut == 0 || read.rows.size() == static_cast<std::size_t>(MaxFrameRows),
              "rows left out of a table that is not full");
        for (const FrameRow& row : read.rows)
            FUZZ_CHECK(row.RTR.empty() && row.Mnemonic.empty(), "the import filled a column it does not take");
        if (file.extension() == ".csv")
            FUZZ_CHECK(read == FrameRowsFromRecords(ParseCsvRows(fuzz::AsText(data + 1, size - 1))),
                       "the CSV read in pieces differs from its whole text");
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
    }

    if (file.extension() == ".csv") return 0;
    try {
        const auto workbook = OpenSpreadsheet(file);
        for (const std::string& name : workbook->SheetNames()) {
            for (std::size_t columns : {std::size_t{1}, std::size_t{4}}) {
                const auto rows = workbook->ReadRows(name, columns);
                for (const SheetRow& row : rows)
                    FUZZ_CHECK(row.size() == rows.front().size() && row.size() <= columns,
                          "the rows of sheet '" + name + "' differ in width");
            }
        }
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
    }
    return 0;
}

#pragma once

#include "project/project_document.h"
#include "project/project_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {

// The number of data rows of the frame table editor, and the most frames a
// frame file may hold.
inline constexpr int MaxFrameRows = 250;

// One CAN frame, each text exactly as in the file or the editor's cell. RTR
// is used by the transmit direction only.
struct FrameRow {
    std::string CobID;
    std::string Dimensin;
    std::string RTR;
    std::string Mnemonic;

    friend bool operator==(const FrameRow&, const FrameRow&) = default;
};

struct FrameTable {
    FrameDirection direction = FrameDirection::Receive;
    std::vector<FrameRow> rows;
};

struct FrameTableRead {
    FrameTable table;
    // Set when the table is not the whole file: a parse error, a missing
    // "COBID", a row without a required attribute, or more than 250 rows.
    std::optional<std::string> error;
};

// The error for a row without "CobID", "Dimensin" or "Mnemonic".
inline constexpr const char* kMissingAttributeMessage = "Could not convert variant of type (Null) into type (String)";

FrameTableRead ReadFrameTable(const std::filesystem::path& projectDir, FrameDirection direction);

// The frame file as every reader starts from it: per row, the texts of
// "CobID", "Dimensin", "RTR" and "Mnemonic" in these columns, absent where a
// row lacks one. The editors, the compiler and the project check each apply
// their own rules to it.
using FrameFileRows = TableRows;
inline constexpr std::size_t kCobIdColumn = 0;
inline constexpr std::size_t kDimensinColumn = 1;
inline constexpr std::size_t kRtrColumn = 2;
inline constexpr std::size_t kMnemonicColumn = 3;
FrameFileRows ReadFrameRows(const std::filesystem::path& projectDir, FrameDirection direction);

struct FrameCheckFailure {
    int row;             // counted from 1
    std::size_t column;  // the failing value's: kCobIdColumn or kDimensinColumn
    std::string text;    // "!! The CobID in CAN 2.0A must between 0 and 2047", ...
    // "Error in row 3!! The Dimension of CAN frame must between 1 and 8"
    std::string Message() const { return "Error in row " + std::to_string(row) + text; }
};

// The first row whose CobID does not fit the CAN mode or whose Dimensin is
// not 1 to 8; nothing when every row passes.
std::optional<FrameCheckFailure> CheckFrameTable(const FrameTable& table, CanMode mode);

// The frame file as WriteFrameTable writes it.
std::string FrameTableText(const FrameTable& table);

// Writes RCobDef.xml or TCobDef.xml; throws Error when the save fails.
void WriteFrameTable(const std::filesystem::path& projectDir, const FrameTable& table);

}  // namespace vestrel

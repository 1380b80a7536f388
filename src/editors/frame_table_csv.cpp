#include "editors/frame_table_csv.h"

#include "editors/file_chunks.h"
#include "platform/csv_text.h"
#include "platform/file_util.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vestrel {

namespace {


// CobID and Dimension: the two sheet columns that the table takes.
constexpr std::size_t kFieldsTaken = 2;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool HasCsvExtension(const std::filesystem::path& file) { return Lower(file.extension().string()) == ".csv"; }

char DetectSeparator(std::string_view text) {
    std::array<std::pair<char, int>, 3> counts{{{',', 0}, {';', 0}, {'\t', 0}}};
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '\n' || c == '\r')) break;
        if (quoted) continue;
        for (auto& [separator, count] : counts)
            if (c == separator) ++count;
    }
    auto best = std::max_element(counts.begin(), counts.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    return best->second > 0 ? best->first : ',';
}

bool HasContent(const SheetRow& row) {
    const auto end = row.begin() + static_cast<std::ptrdiff_t>(std::min(row.size(), kFieldsTaken));
    return std::any_of(row.begin(), end, [](const SheetCell& cell) { return cell && !cell->empty(); });
}

}  // namespace

std::string FormatFrameTableCsv(const FrameTable& table) {
    std::string out = kFrameTableCsvHeader;
    out += kCsvLineEnd;
    for (const FrameRow& row : table.rows) {
        out += CsvCell(row.CobID, ',') + ',' + CsvCell(row.Dimensin, ',') + ",0,0,0";
        out += kCsvLineEnd;
    }
    return out;
}

std::filesystem::path ExportFrameTableCsv(const std::filesystem::path& projectDir, const FrameTable& table) {
    const std::filesystem::path file = PathForWriteNoCase(projectDir, kFrameTableCsvName);
    WriteFileAtomic(file, FormatFrameTableCsv(table));
    return file;
}

std::vector<SheetRow> ParseCsvRows(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    const char separator = DetectSeparator(text);
    std::vector<SheetRow> rows;
    SheetRow row;
    std::string field;
    bool quoted = false;
    bool lineStarted = false;
    auto endField = [&] {
        row.emplace_back(std::string(CsvCellText(field)));
        field.clear();
    };
    auto endLine = [&] {
        endField();
        rows.push_back(std::move(row));
        row.clear();
        lineStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        lineStarted = true;
        if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endLine();
        } else {
            field += c;
        }
    }
    // The last line needs no line break after it.
    if (lineStarted || quoted) endLine();
    return rows;
}

FrameSheetRead FrameRowsFromRecords(const std::vector<SheetRow>& sheetRows) {
    FrameSheetRead read;
    if (sheetRows.size() <= 1) return read;  // nothing below the column names
    const std::size_t records = sheetRows.size() - 1;
    const std::size_t taken = std::min<std::size_t>(records, MaxFrameRows);
    for (std::size_t r = 0; r < taken; ++r) {
        const SheetRow& record = sheetRows[r + 1];
        auto text = [&](std::size_t k) { return k < record.size() && record[k] ? *record[k] : std::string(); };
        read.rows.push_back(FrameRow{text(0), text(1), {}, {}});
    }
    // Blank rows at the end of a sheet (formatting only) are not records
    // anyone would miss.
    std::size_t lastWithContent = 0;  // counted from 1; 0 when none
    for (std::size_t r = records; r > taken; --r) {
        if (HasContent(sheetRows[r])) {
            lastWithContent = r;
            break;
        }
    }
    if (lastWithContent > taken) read.leftOut = static_cast<int>(lastWithContent - taken);
    return read;
}

void FrameCsvReader::Feed(std::string_view piece) {
    for (char c : piece) Take(c);
}

void FrameCsvReader::Take(char c) {
    switch (phase_) {
    case Phase::ByteOrderMark: {
        static constexpr std::string_view kMark = "\xEF\xBB\xBF";
        if (c == kMark[markMatched_]) {
            if (++markMatched_ == kMark.size()) phase_ = Phase::Header;
            return;
        }
        // Not a mark after all: what was held back is the header's start.
        phase_ = Phase::Header;
        for (std::size_t i = 0; i < markMatched_; ++i) TakeInHeader(kMark[i]);
        TakeInHeader(c);
        return;
    }
    case Phase::Header:
        TakeInHeader(c);
        return;
    case Phase::Records:
        TakeInRecord(c);
        return;
    }
}

// The first line holds the column names; only its separators count, and it
// ends at the first line break outside quotes.
void FrameCsvReader::TakeInHeader(char c) {
    if (c == '"') quoted_ = !quoted_;
    if (quoted_) return;
    if (c == '\r' || c == '\n') {
        separator_ = ',';
        if (semicolons_ > commas_ && semicolons_ >= tabs_) separator_ = ';';
        if (tabs_ > commas_ && tabs_ > semicolons_) separator_ = '\t';
        skipLineFeed_ = c == '\r';
        phase_ = Phase::Records;
        return;
    }
    commas_ += c == ',';
    semicolons_ += c == ';';
    tabs_ += c == '\t';
}

void FrameCsvReader::TakeInRecord(char c) {
    if (skipLineFeed_) {
        skipLineFeed_ = false;
        if (c == '\n') return;
    }
    if (quoteInQuoted_) {
        quoteInQuoted_ = false;
        if (c == '"') {
            AddToField('"');
            return;
        }
        quoted_ = false;
    } else if (quoted_) {
        if (c == '"') {
            quoteInQuoted_ = true;
        } else {
            AddToField(c);
        }
        return;
    }
    lineStarted_ = true;
    if (c == '"') {
        quoted_ = true;
    } else if (c == separator_) {
        ++field_;
    } else if (c == '\r' || c == '\n') {
        EndRecord();
        skipLineFeed_ = c == '\r';
    } else {
        AddToField(c);
    }
}

void FrameCsvReader::AddToField(char c) {
    // Only CobID and Dimension are taken, and only for the table's rows;
    // later records are only looked at for whether they hold anything.
    const bool kept = records_ < static_cast<std::size_t>(MaxFrameRows);
    if (field_ == 0) {
        cobIdSeen_ = true;
        if (kept) row_.CobID += c;
    } else if (field_ == 1) {
        dimensionSeen_ = true;
        if (kept) row_.Dimensin += c;
    }
}

void FrameCsvReader::EndRecord() {
    if (records_ < static_cast<std::size_t>(MaxFrameRows)) {
        row_.CobID = std::string(CsvCellText(row_.CobID));
        row_.Dimensin = std::string(CsvCellText(row_.Dimensin));
        read_.rows.push_back(std::move(row_));
    } else if (cobIdSeen_ || dimensionSeen_) {
        lastWithContent_ = records_ + 1;
    }
    ++records_;
    row_ = FrameRow{};
    field_ = 0;
    cobIdSeen_ = dimensionSeen_ = false;
    lineStarted_ = false;
}

FrameSheetRead FrameCsvReader::Finish() {
    if (phase_ != Phase::Records) return {};  // the column names at most
    if (quoteInQuoted_) {
        quoteInQuoted_ = false;
        quoted_ = false;
    }
    // The last line needs no line break after it.
    if (lineStarted_ || quoted_) EndRecord();
    if (lastWithContent_ > static_cast<std::size_t>(MaxFrameRows))
        read_.leftOut = static_cast<int>(lastWithContent_ - static_cast<std::size_t>(MaxFrameRows));
    return std::move(read_);
}

FrameSheetRead ImportFrameTableSheet(const std::filesystem::path& file) {
    if (HasCsvExtension(file)) {
        // A piece at a time: a CSV of any size takes the same memory.
        FileChunks chunks(file);
        FrameCsvReader reader;
        for (std::string_view piece = chunks.Next(); !piece.empty(); piece = chunks.Next()) reader.Feed(piece);
        return reader.Finish();
    }

    auto workbook = OpenSpreadsheet(file);
    for (const std::string& name : workbook->SheetNames()) {
        if (Lower(name) == kFrameSheetName) return FrameRowsFromRecords(workbook->ReadRows(name, kFieldsTaken));
    }
    return {};
}

}  // namespace vestrel

// The .xlsx and .ods backends of SpreadsheetSource, on liborcus.
//
// liborcus 0.17 trusts the sizes in a zip archive's directory, so every file
// is checked here first and handed over as the bytes that were checked. .xlsx
// is read by orcus_xlsx into a small factory of our own that keeps each
// cell's value as the file stores it (formulas: their cached result) and
// computes nothing. .ods is read from content.xml with orcus's XML parser,
// because orcus_ods 0.17 drops booleans, times, percentages, currencies and
// the text results of formulas.
#include "platform/error.h"
#include "platform/spreadsheet_source.h"

#include <orcus/exception.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/sax_ns_parser.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/xml_namespace.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <new>
#include <variant>

namespace vestrel {

namespace {

namespace ss = orcus::spreadsheet;
namespace iface = orcus::spreadsheet::iface;

// Far above any frame workbook, low enough that a hostile file cannot take
// the machine's memory.
constexpr std::uint64_t kMaxFileBytes = 128u << 20;
constexpr std::uint64_t kMaxUnpackedBytes = 512u << 20;
// Deflate cannot shrink data more than 1032 to 1.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// The largest sheet of Excel and LibreOffice.
constexpr std::int32_t kMaxRows = 1048576;
constexpr std::int32_t kMaxColumns = 16384;

const char* const kNotAWorkbook = "It is not an Excel (.xlsx) or OpenDocument (.ods) workbook.";
const char* const kPasswordProtected = "The workbook is password-protected.";

// Why a workbook cannot be read, for the user.
struct Refusal {
    std::string reason;
};

Refusal Damaged(const std::string& detail) {
    return {"The workbook is damaged or not supported (" + detail + ")."};
}

std::string ReadWorkbookBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw Refusal{"The file does not exist or cannot be read."};
    const std::streamoff size = in.tellg();
    if (size < 0) throw Refusal{"The file does not exist or cannot be read."};
    if (static_cast<std::uint64_t>(size) > kMaxFileBytes) throw Refusal{"The workbook is too large."};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw Refusal{"The file does not exist or cannot be read."};
    return bytes;
}

// ---------------------------------------------------------------------------
// The zip archive

std::uint32_t Get(std::string_view bytes, std::uint64_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Unpacks one entry in pieces and compares its length and CRC-32 with the
// directory's: liborcus checks neither, and a damaged entry would otherwise
// come through as garbled cells.
bool EntryIsIntact(std::string_view packed, bool deflated, std::uint64_t size, std::uint32_t crc) {
    if (!deflated) return crc32(0, reinterpret_cast<const Bytef*>(packed.data()), static_cast<uInt>(packed.size())) == crc;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    unsigned char piece[64 * 1024];
    uLong sum = crc32(0, nullptr, 0);
    std::uint64_t produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = piece;
        stream.avail_out = sizeof piece;
        rc = inflate(&stream, Z_NO_FLUSH);
        const std::size_t got = sizeof piece - stream.avail_out;
        produced += got;
        if (produced > size) break;
        sum = crc32(sum, piece, static_cast<uInt>(got));
        if (rc == Z_BUF_ERROR && got > 0) rc = Z_OK;  // room was short, not input
    }
    inflateEnd(&stream);
    return rc == Z_STREAM_END && produced == size && sum == crc;
}

// Checks the archive's directory as liborcus will read it (the last end
// record, then entry after entry from the directory's start) and returns
// the entry names. Every entry must lie inside the file, be stored or
// deflated at a possible ratio, and all of them together must unpack to a
// bounded size.
std::vector<std::string> CheckZipDirectory(std::string_view bytes) {
    constexpr std::uint64_t kEndRecord = 22;
    if (bytes.size() < kEndRecord) throw Refusal{kNotAWorkbook};
    std::uint64_t end = std::string_view::npos;
    for (std::uint64_t at = bytes.size() - kEndRecord + 1; at-- > 0;) {
        if (bytes.compare(at, 4, "PK\x05\x06") == 0) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) throw Refusal{kNotAWorkbook};
    if (end + kEndRecord + Get(bytes, end + 20, 2) != bytes.size()) throw Damaged("zip archive end record");
    const std::uint32_t entries = Get(bytes, end + 10, 2);
    const std::uint64_t directorySize = Get(bytes, end + 12, 4);
    const std::uint64_t directory = Get(bytes, end + 16, 4);
    if (Get(bytes, end + 4, 2) != 0 || Get(bytes, end + 6, 2) != 0 || Get(bytes, end + 8, 2) != entries ||
        directory + directorySize > end)
        throw Damaged("zip archive directory");

    std::vector<std::string> names;
    std::uint64_t unpacked = 0;
    std::uint64_t at = directory;
    while (at + 4 <= end && bytes.compare(at, 4, "PK\x01\x02") == 0) {
        if (at + 46 > end) throw Damaged("zip archive directory");
        const std::uint32_t flags = Get(bytes, at + 8, 2);
        const std::uint32_t method = Get(bytes, at + 10, 2);
        const std::uint32_t crc = Get(bytes, at + 16, 4);
        const std::uint64_t packedSize = Get(bytes, at + 20, 4);
        const std::uint64_t size = Get(bytes, at + 24, 4);
        const std::uint64_t nameLength = Get(bytes, at + 28, 2);
        const std::uint64_t next = at + 46 + nameLength + Get(bytes, at + 30, 2) + Get(bytes, at + 32, 2);
        const std::uint64_t local = Get(bytes, at + 42, 4);
        if (next > end) throw Damaged("zip archive directory");
        std::string name(bytes.substr(at + 46, nameLength));

        if (flags & 1) throw Refusal{kPasswordProtected};
        if (method != 0 && method != 8) throw Damaged("zip compression method " + std::to_string(method));
        if (packedSize == 0xFFFFFFFF || size == 0xFFFFFFFF) throw Damaged("zip64 archive");
        if (local + 30 > bytes.size() || bytes.compare(local, 4, "PK\x03\x04") != 0)
            throw Damaged("zip entry " + name);
        const std::uint64_t data = local + 30 + Get(bytes, local + 26, 2) + Get(bytes, local + 28, 2);
        if (data + packedSize > bytes.size()) throw Damaged("zip entry " + name);
        if (method == 0 ? size != packedSize : size > std::max<std::uint64_t>(packedSize, 1) * kMaxDeflateRatio)
            throw Damaged("zip entry " + name);
        unpacked += size;
        if (unpacked > kMaxUnpackedBytes) throw Refusal{"The workbook is too large."};
        if (!EntryIsIntact(bytes.substr(data, packedSize), method == 8, size, crc)) throw Damaged("zip entry " + name);
        names.push_back(std::move(name));
        at = next;
    }
    if (names.size() != entries) throw Damaged("zip archive directory");
    return names;
}

class CheckedZip {
public:
    explicit CheckedZip(std::string_view bytes)
        : stream_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), archive_(&stream_) {
        archive_.load();
    }

    std::optional<std::string> Entry(std::string_view name) const {
        std::vector<unsigned char> buffer;
        if (!archive_.read_file_entry(name, buffer)) return std::nullopt;
        // liborcus hands the entry over with a terminating zero byte.
        if (!buffer.empty() && buffer.back() == 0) buffer.pop_back();
        return std::string(buffer.begin(), buffer.end());
    }

private:
    orcus::zip_archive_stream_blob stream_;
    orcus::zip_archive archive_;
};

// ---------------------------------------------------------------------------
// What one reading pass keeps

// The cells of one sheet in its first columns; the others pass by. With no
// sheet asked for, a pass only lists the sheet names.
struct CellSink {
    std::optional<std::string> sheet;
    std::size_t maxColumns = 0;

    std::map<std::pair<std::int32_t, std::int32_t>, std::string> cells;
    std::int32_t rows = 0;     // of the used range, counted from the first row
    std::int32_t columns = 0;  // likewise

    bool Keeps(std::int32_t row, std::int32_t col) const {
        return row >= 0 && col >= 0 && row < kMaxRows && col < kMaxColumns &&
               static_cast<std::size_t>(col) < maxColumns;
    }

    void Note(std::int32_t row, std::int32_t col) {
        if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxColumns) return;
        rows = std::max(rows, row + 1);
        columns = std::max(columns, col + 1);
    }

    std::vector<SheetRow> Rows() const {
        const std::size_t width = std::min<std::size_t>(static_cast<std::size_t>(columns), maxColumns);
        std::vector<SheetRow> out(static_cast<std::size_t>(rows), SheetRow(width));
        for (const auto& [at, text] : cells) {
            // An empty text is an empty cell, as FreeXL has it.
            if (static_cast<std::size_t>(at.second) < width && !text.empty()) out[at.first][at.second] = text;
        }
        return out;
    }
};

std::string BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

// A date and time of day as a serial number from 1899-12-30, so that it is
// shown the way sheet dates are.
std::string DateTimeText(int year, int month, int day, double secondsOfDay, bool withTime) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) return {};
    const double serial =
        static_cast<double>((sys_days(date) - sys_days(1899y / December / 30)).count()) + secondsOfDay / 86400.0;
    return FormatSheetSerial(serial, withTime ? NumberShown::DateTime : NumberShown::Date);
}

// ---------------------------------------------------------------------------
// .xlsx through orcus_xlsx

class XlsxStrings : public iface::import_shared_strings {
public:
    const std::string* At(std::size_t index) const { return index < strings_.size() ? &strings_[index] : nullptr; }

    // Puts the strings as read from the part itself in place of liborcus's,
    // when both agree on their number.
    void Correct(std::vector<std::string> strings) {
        if (strings.size() == strings_.size()) strings_ = std::move(strings);
    }

    std::size_t append(std::string_view s) override {
        strings_.emplace_back(s);
        return strings_.size() - 1;
    }
    std::size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(std::size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    void append_segment(std::string_view s) override { segments_ += s; }
    std::size_t commit_segments() override {
        strings_.push_back(std::move(segments_));
        segments_.clear();
        return strings_.size() - 1;
    }

private:
    std::vector<std::string> strings_;
    std::string segments_;
};

// Only the number format of each cell format matters here: it tells dates
// from numbers.
class XlsxStyles : public iface::import_styles {
public:
    NumberShown Shown(std::size_t xf) const {
        if (xf >= cellFormats_.size()) return NumberShown::Number;
        const std::size_t id = cellFormats_[xf];
        auto code = codes_.find(id);
        return code != codes_.end() ? ClassifyNumberFormat(code->second) : ClassifyBuiltinNumberFormat(id);
    }

    void set_number_format_count(std::size_t) override {}
    void set_number_format_identifier(std::size_t id) override { formatId_ = id; }
    void set_number_format_code(std::string_view s) override { formatCode_ = s; }
    std::size_t commit_number_format() override {
        codes_[formatId_] = std::move(formatCode_);
        formatId_ = 0;
        formatCode_.clear();
        return formatsCommitted_++;
    }
    void set_xf_number_format(std::size_t index) override { xfFormat_ = index; }
    std::size_t commit_cell_xf() override {
        cellFormats_.push_back(xfFormat_);
        xfFormat_ = 0;
        return cellFormats_.size() - 1;
    }
    std::size_t commit_cell_style_xf() override {
        xfFormat_ = 0;
        return styleFormats_++;
    }
    std::size_t commit_dxf() override {
        xfFormat_ = 0;
        return differentialFormats_++;
    }

    // The rest of a workbook's look is of no use to the import.
    void set_font_count(std::size_t) override {}
    void set_font_bold(bool) override {}
    void set_font_italic(bool) override {}
    void set_font_name(std::string_view) override {}
    void set_font_size(double) override {}
    void set_font_underline(ss::underline_t) override {}
    void set_font_underline_width(ss::underline_width_t) override {}
    void set_font_underline_mode(ss::underline_mode_t) override {}
    void set_font_underline_type(ss::underline_type_t) override {}
    void set_font_underline_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    void set_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    void set_strikethrough_style(ss::strikethrough_style_t) override {}
    void set_strikethrough_type(ss::strikethrough_type_t) override {}
    void set_strikethrough_width(ss::strikethrough_width_t) override {}
    void set_strikethrough_text(ss::strikethrough_text_t) override {}
    std::size_t commit_font() override { return fonts_++; }
    void set_fill_count(std::size_t) override {}
    void set_fill_pattern_type(ss::fill_pattern_t) override {}
    void set_fill_fg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    void set_fill_bg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
    std::size_t commit_fill() override { return fills_++; }
    void set_border_count(std::size_t) override {}
    void set_border_style(ss::border_direction_t, ss::border_style_t) override {}
    void set_border_color(ss::border_direction_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                          ss::color_elem_t) override {}
    void set_border_width(ss::border_direction_t, double, orcus::length_unit_t) override {}
    std::size_t commit_border() override { return borders_++; }
    void set_cell_hidden(bool) override {}
    void set_cell_locked(bool) override {}
    void set_cell_print_content(bool) override {}
    void set_cell_formula_hidden(bool) override {}
    std::size_t commit_cell_protection() override { return protections_++; }
    void set_cell_xf_count(std::size_t) override {}
    void set_cell_style_xf_count(std::size_t) override {}
    void set_dxf_count(std::size_t) override {}
    void set_xf_font(std::size_t) override {}
    void set_xf_fill(std::size_t) override {}
    void set_xf_border(std::size_t) override {}
    void set_xf_protection(std::size_t) override {}
    void set_xf_style_xf(std::size_t) override {}
    void set_xf_apply_alignment(bool) override {}
    void set_xf_horizontal_alignment(ss::hor_alignment_t) override {}
    void set_xf_vertical_alignment(ss::ver_alignment_t) override {}
    void set_cell_style_count(std::size_t) override {}
    void set_cell_style_name(std::string_view) override {}
    void set_cell_style_xf(std::size_t) override {}
    void set_cell_style_builtin(std::size_t) override {}
    void set_cell_style_parent_name(std::string_view) override {}
    std::size_t commit_cell_style() override { return cellStyles_++; }

private:
    std::map<std::size_t, std::string> codes_;  // by format number
    std::vector<std::size_t> cellFormats_;      // format number of each cell format
    std::size_t formatId_ = 0;
    std::string formatCode_;
    std::size_t xfFormat_ = 0;
    std::size_t formatsCommitted_ = 0, styleFormats_ = 0, differentialFormats_ = 0, fonts_ = 0, fills_ = 0,
                borders_ = 0, protections_ = 0, cellStyles_ = 0;
};

class XlsxGlobals : public iface::import_global_settings {
public:
    SheetDate dayZero{1899, 12, 30};

    void set_origin_date(int year, int month, int day) override {
        if (month >= 1 && month <= 12 && day >= 1 && day <= 31)
            dayZero = {year, static_cast<unsigned>(month), static_cast<unsigned>(day)};
    }
    void set_default_formula_grammar(ss::formula_grammar_t grammar) override { grammar_ = grammar; }
    ss::formula_grammar_t get_default_formula_grammar() const override { return grammar_; }
    void set_character_set(orcus::character_set_t) override {}

private:
    ss::formula_grammar_t grammar_ = ss::formula_grammar_t::xlsx;
};

// Cell addresses as the xlsx parts write them: "B7", "$B$7", "A1:C3".
class A1References : public iface::import_reference_resolver {
public:
    ss::src_address_t resolve_address(std::string_view text) override {
        std::size_t i = 0;
        auto number = [&](auto accept, std::int64_t base, std::int64_t limit) {
            std::int64_t value = 0;
            const std::size_t start = i;
            while (i < text.size() && accept(text[i]) && value <= limit) {
                const char c = text[i++];
                value = value * base + (base == 26 ? (c | 0x20) - 'a' + 1 : c - '0');
            }
            if (i == start || value > limit) throw orcus::invalid_arg_error("invalid cell address");
            return value;
        };
        if (i < text.size() && text[i] == '$') ++i;
        const auto column = number([](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }, 26,
                                   kMaxColumns);
        if (i < text.size() && text[i] == '$') ++i;
        const auto row = number([](char c) { return c >= '0' && c <= '9'; }, 10, kMaxRows);
        if (i != text.size() || row == 0) throw orcus::invalid_arg_error("invalid cell address");
        return {0, static_cast<ss::row_t>(row - 1), static_cast<ss::col_t>(column - 1)};
    }

    ss::src_range_t resolve_range(std::string_view text) override {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos) {
            const auto single = resolve_address(text);
            return {single, single};
        }
        return {resolve_address(text.substr(0, colon)), resolve_address(text.substr(colon + 1))};
    }
};

// A cell's value as the file has it; numbers wait for the styles, which
// come after the sheets.
struct XlsxNumber {
    double value;
};
struct XlsxString {
    std::size_t index;
};
using XlsxValue = std::variant<std::string, XlsxNumber, XlsxString>;

class XlsxSheet;

class XlsxFormula : public iface::import_formula {
public:
    explicit XlsxFormula(XlsxSheet& sheet) : sheet_(sheet) {}
    void set_position(ss::row_t row, ss::col_t col) override {
        row_ = row;
        col_ = col;
        result_.reset();
    }
    void set_formula(ss::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(std::size_t) override {}
    void set_result_string(std::string_view value) override { result_ = std::string(value); }
    void set_result_value(double value) override { result_ = XlsxNumber{value}; }
    void set_result_bool(bool value) override { result_ = BoolText(value); }
    void set_result_empty() override { result_.reset(); }
    void commit() override;

private:
    XlsxSheet& sheet_;
    ss::row_t row_ = 0;
    ss::col_t col_ = 0;
    std::optional<XlsxValue> result_;
};

class XlsxArrayFormula : public iface::import_array_formula {
public:
    explicit XlsxArrayFormula(XlsxSheet& sheet) : sheet_(sheet) {}
    void set_range(const ss::range_t&) override {}
    void set_formula(ss::formula_grammar_t, std::string_view) override {}
    void set_result_string(ss::row_t row, ss::col_t col, std::string_view value) override;
    void set_result_value(ss::row_t row, ss::col_t col, double value) override;
    void set_result_bool(ss::row_t row, ss::col_t col, bool value) override;
    void set_result_empty(ss::row_t row, ss::col_t col) override;
    void commit() override {}

private:
    XlsxSheet& sheet_;
};

class XlsxSheet : public iface::import_sheet {
public:
    XlsxSheet(CellSink* sink) : sink_(sink), formula_(*this), arrayFormula_(*this) {}

    void Put(ss::row_t row, ss::col_t col, std::optional<XlsxValue> value) {
        if (!sink_) return;
        if (!value) {
            values_.erase({row, col});
            return;
        }
        sink_->Note(row, col);
        if (sink_->Keeps(row, col)) values_[{row, col}] = std::move(*value);
    }

    // Gives the sink the cells' text, now that strings and styles are known.
    void Finish(const XlsxStrings& strings, const XlsxStyles& styles, SheetDate dayZero) {
        if (!sink_) return;
        for (auto& [at, value] : values_) {
            if (auto* text = std::get_if<std::string>(&value)) {
                sink_->cells[at] = std::move(*text);
            } else if (const auto* number = std::get_if<XlsxNumber>(&value)) {
                auto format = formats_.find(at);
                const NumberShown shown = format == formats_.end() ? NumberShown::Number : styles.Shown(format->second);
                sink_->cells[at] = FormatSheetSerial(number->value, shown, dayZero);
            } else if (const auto* text = strings.At(std::get<XlsxString>(value).index)) {
                sink_->cells[at] = *text;
            }
        }
    }

    iface::import_formula* get_formula() override { return &formula_; }
    iface::import_array_formula* get_array_formula() override { return &arrayFormula_; }
    void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override { Put(row, col, std::string(s)); }
    void set_string(ss::row_t row, ss::col_t col, ss::string_id_t index) override {
        Put(row, col, XlsxString{index});
    }
    void set_value(ss::row_t row, ss::col_t col, double value) override { Put(row, col, XlsxNumber{value}); }
    void set_bool(ss::row_t row, ss::col_t col, bool value) override { Put(row, col, BoolText(value)); }
    void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour, int minute,
                       double second) override {
        const double seconds = hour * 3600.0 + minute * 60.0 + second;
        Put(row, col, DateTimeText(year, month, day, seconds, seconds != 0));
    }
    void set_format(ss::row_t row, ss::col_t col, std::size_t xf) override {
        if (sink_ && sink_->Keeps(row, col)) formats_[{row, col}] = xf;
    }
    void set_format(ss::row_t, ss::col_t, ss::row_t, ss::col_t, std::size_t) override {}
    void fill_down_cells(ss::row_t, ss::col_t, ss::row_t) override {}
    ss::range_size_t get_sheet_size() const override { return {kMaxRows, kMaxColumns}; }

private:
    CellSink* sink_;  // null for the sheets that pass by
    XlsxFormula formula_;
    XlsxArrayFormula arrayFormula_;
    std::map<std::pair<std::int32_t, std::int32_t>, XlsxValue> values_;
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> formats_;
};

void XlsxFormula::commit() { sheet_.Put(row_, col_, std::move(result_)); }
void XlsxArrayFormula::set_result_string(ss::row_t row, ss::col_t col, std::string_view value) {
    sheet_.Put(row, col, std::string(value));
}
void XlsxArrayFormula::set_result_value(ss::row_t row, ss::col_t col, double value) {
    sheet_.Put(row, col, XlsxNumber{value});
}
void XlsxArrayFormula::set_result_bool(ss::row_t row, ss::col_t col, bool value) {
    sheet_.Put(row, col, BoolText(value));
}
void XlsxArrayFormula::set_result_empty(ss::row_t row, ss::col_t col) { sheet_.Put(row, col, std::nullopt); }

// liborcus 0.17 reports an empty shared string (<si><t/></si>) as a copy of
// the string before it, so the part is read here as well: each <si> is the
// text of its <t> elements, phonetic guides (<rPh>) left out.
class SharedStringsPart {
public:
    std::vector<std::string> strings;

    void doctype(const orcus::sax::doctype_declaration&) {}
    void start_declaration(std::string_view) {}
    void end_declaration(std::string_view) {}
    void attribute(std::string_view, std::string_view) {}
    void attribute(const orcus::sax_ns_parser_attribute&) {}

    void start_element(const orcus::sax_ns_parser_element& element) {
        if (element.name == "si") {
            inItem_ = true;
            current_.clear();
        } else if (element.name == "rPh") {
            ++phonetic_;
        } else if (element.name == "t" && inItem_ && !phonetic_) {
            inText_ = true;
        }
    }

    void end_element(const orcus::sax_ns_parser_element& element) {
        if (element.name == "si" && inItem_) {
            strings.push_back(std::move(current_));
            current_.clear();
            inItem_ = false;
        } else if (element.name == "rPh" && phonetic_ > 0) {
            --phonetic_;
        } else if (element.name == "t") {
            inText_ = false;
        }
    }

    void characters(std::string_view value, bool) {
        if (inText_) current_ += value;
    }

private:
    bool inItem_ = false, inText_ = false;
    int phonetic_ = 0;
    std::string current_;
};

std::optional<std::vector<std::string>> ReadSharedStrings(std::string_view bytes) {
    const auto part = CheckedZip(bytes).Entry("xl/sharedStrings.xml");
    if (!part) return std::nullopt;
    SharedStringsPart handler;
    orcus::xmlns_repository namespaces;
    orcus::xmlns_context context = namespaces.create_context();
    orcus::sax_ns_parser<SharedStringsPart> parser(part->data(), part->size(), context, handler);
    parser.parse();
    return std::move(handler.strings);
}

class XlsxFactory : public iface::import_factory {
public:
    XlsxFactory(CellSink& sink, std::vector<std::string>& names) : sink_(sink), names_(names) {}

    iface::import_global_settings* get_global_settings() override { return &globals_; }
    iface::import_shared_strings* get_shared_strings() override { return &strings_; }
    iface::import_styles* get_styles() override { return &styles_; }
    iface::import_reference_resolver* get_reference_resolver(ss::formula_ref_context_t) override {
        return &references_;
    }
    iface::import_sheet* append_sheet(ss::sheet_t, std::string_view name) override {
        names_.emplace_back(name);
        const bool wanted = sink_.sheet && *sink_.sheet == name && !found_;
        found_ = found_ || wanted;
        sheets_.push_back(std::make_unique<XlsxSheet>(wanted ? &sink_ : nullptr));
        return sheets_.back().get();
    }
    iface::import_sheet* get_sheet(std::string_view name) override {
        for (std::size_t i = 0; i < names_.size() && i < sheets_.size(); ++i)
            if (names_[i] == name) return sheets_[i].get();
        return nullptr;
    }
    iface::import_sheet* get_sheet(ss::sheet_t index) override {
        return index >= 0 && static_cast<std::size_t>(index) < sheets_.size() ? sheets_[index].get() : nullptr;
    }
    void finalize() override {}

    void Finish(std::optional<std::vector<std::string>> strings) {
        if (strings) strings_.Correct(std::move(*strings));
        for (auto& sheet : sheets_) sheet->Finish(strings_, styles_, globals_.dayZero);
    }

private:
    CellSink& sink_;
    std::vector<std::string>& names_;
    bool found_ = false;
    XlsxGlobals globals_;
    XlsxStrings strings_;
    XlsxStyles styles_;
    A1References references_;
    std::vector<std::unique_ptr<XlsxSheet>> sheets_;
};

std::vector<std::string> ReadXlsx(std::string_view bytes, CellSink& sink) {
    std::vector<std::string> names;
    XlsxFactory factory(sink, names);
    orcus::orcus_xlsx reader(&factory);
    reader.read_stream(bytes);
    factory.Finish(sink.sheet ? ReadSharedStrings(bytes) : std::nullopt);
    return names;
}

// ---------------------------------------------------------------------------
// .ods through content.xml

constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

std::int32_t RepeatCount(std::string_view text, std::int32_t limit) {
    std::int64_t value = 1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1) return 1;
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, limit));
}

std::optional<double> ParseDouble(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "2024-03-15" or "2024-03-15T08:30:05.25".
std::optional<std::string> OdsDateText(std::string_view text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    char tail[2] = {};
    const std::string copy(text.substr(0, 64));
    if (std::sscanf(copy.c_str(), "%5d-%2d-%2d%1s", &year, &month, &day, tail) == 3) {
        std::string out = DateTimeText(year, month, day, 0, false);
        return out.empty() ? std::nullopt : std::optional(out);
    }
    if (std::sscanf(copy.c_str(), "%5d-%2d-%2dT%2d:%2d:%lf", &year, &month, &day, &hour, &minute, &second) != 6)
        return std::nullopt;
    std::string out = DateTimeText(year, month, day, hour * 3600.0 + minute * 60.0 + second, true);
    return out.empty() ? std::nullopt : std::optional(out);
}

// "PT08H30M05S", as a time of day.
std::optional<std::string> OdsTimeText(std::string_view text) {
    if (text.substr(0, 2) != "PT") return std::nullopt;
    double seconds = 0;
    std::size_t i = 2;
    while (i < text.size()) {
        std::size_t unit = text.find_first_of("HMS", i);
        if (unit == std::string_view::npos) return std::nullopt;
        const auto value = ParseDouble(text.substr(i, unit - i));
        if (!value || *value < 0) return std::nullopt;
        seconds += *value * (text[unit] == 'H' ? 3600 : text[unit] == 'M' ? 60 : 1);
        i = unit + 1;
    }
    return FormatSheetSerial(std::fmod(seconds, 86400.0) / 86400.0, NumberShown::Time);
}

// Walks the tables of content.xml. A cell's text is what its value type
// says: office:value for numbers, percentages and currencies (formula
// results too), office:date-value, office:time-value, office:boolean-value,
// office:string-value or else the cell's paragraphs.
class OdsContent {
public:
    OdsContent(CellSink& sink, std::vector<std::string>& names) : sink_(sink), names_(names) {}

    void doctype(const orcus::sax::doctype_declaration&) {}
    void start_declaration(std::string_view) {}
    void end_declaration(std::string_view) {}
    void attribute(std::string_view, std::string_view) {}

    void attribute(const orcus::sax_ns_parser_attribute& attr) {
        attributes_.emplace_back(Namespace(attr.ns), std::string(attr.name), std::string(attr.value));
    }

    void start_element(const orcus::sax_ns_parser_element& element) {
        ++depth_;
        const Ns ns = Namespace(element.ns);
        if (ns == Ns::Table && element.name == "table") {
            if (++tableDepth_ == 1) StartSheet();
        } else if (tableDepth_ == 1 && ns == Ns::Table && element.name == "table-row") {
            StartRow();
        } else if (tableDepth_ == 1 && inRow_ && ns == Ns::Table &&
                   (element.name == "table-cell" || element.name == "covered-table-cell")) {
            StartCell();
        } else if (inCell_ && ns == Ns::Office && element.name == "annotation") {
            ++annotationDepth_;
        } else if (inCell_ && !annotationDepth_ && ns == Ns::Text) {
            if (element.name == "p" && depth_ == cellDepth_ + 1) {
                if (paragraphs_++ > 0) shown_ += '\n';
                paragraphDepth_ = depth_;
            } else if (paragraphDepth_ && element.name == "s") {
                const auto count = RepeatCount(Attribute(Ns::Text, "c").value_or("1"), 1024);
                shown_.append(static_cast<std::size_t>(count), ' ');
            } else if (paragraphDepth_ && element.name == "tab") {
                shown_ += '\t';
            } else if (paragraphDepth_ && element.name == "line-break") {
                shown_ += '\n';
            }
        }
        attributes_.clear();
    }

    void end_element(const orcus::sax_ns_parser_element& element) {
        const Ns ns = Namespace(element.ns);
        if (ns == Ns::Table && element.name == "table") {
            --tableDepth_;
        } else if (tableDepth_ == 1 && inRow_ && ns == Ns::Table && element.name == "table-row") {
            EndRow();
        } else if (inCell_ && depth_ == cellDepth_) {
            EndCell();
        } else if (inCell_ && ns == Ns::Office && element.name == "annotation") {
            --annotationDepth_;
        } else if (depth_ == paragraphDepth_) {
            paragraphDepth_ = 0;
        }
        --depth_;
    }

    void characters(std::string_view value, bool) {
        if (inCell_ && paragraphDepth_ && !annotationDepth_) shown_ += value;
    }

private:
    enum class Ns { Other, Office, Table, Text };

    static Ns Namespace(orcus::xmlns_id_t id) {
        const std::string_view uri = id ? id : "";
        if (uri == kTableNs) return Ns::Table;
        if (uri == kTextNs) return Ns::Text;
        if (uri == kOfficeNs) return Ns::Office;
        return Ns::Other;
    }

    std::optional<std::string> Attribute(Ns ns, std::string_view name) const {
        for (const auto& [attrNs, attrName, value] : attributes_)
            if (attrNs == ns && attrName == name) return value;
        return std::nullopt;
    }

    void StartSheet() {
        names_.push_back(Attribute(Ns::Table, "name").value_or(""));
        keeping_ = sink_.sheet && *sink_.sheet == names_.back() && !found_;
        found_ = found_ || keeping_;
        row_ = 0;
    }

    void StartRow() {
        inRow_ = true;
        rowRepeat_ = RepeatCount(Attribute(Ns::Table, "number-rows-repeated").value_or("1"), kMaxRows);
        col_ = 0;
        rowCells_.clear();
        lastColumn_ = -1;
    }

    void StartCell() {
        inCell_ = true;
        cellDepth_ = depth_;
        paragraphs_ = 0;
        shown_.clear();
        cellRepeat_ = RepeatCount(Attribute(Ns::Table, "number-columns-repeated").value_or("1"), kMaxColumns);
        valueType_ = Attribute(Ns::Office, "value-type").value_or("");
        value_ = Attribute(Ns::Office, valueType_ == "date"      ? "date-value"
                                    : valueType_ == "time"    ? "time-value"
                                    : valueType_ == "boolean" ? "boolean-value"
                                    : valueType_ == "string"  ? "string-value"
                                                              : "value");
    }

    std::optional<std::string> CellText() const {
        const std::optional<std::string> shown =
            paragraphs_ > 0 ? std::optional(shown_) : std::nullopt;
        if (valueType_.empty() || valueType_ == "string") return value_ ? value_ : shown;
        if (!value_) return shown;
        std::optional<std::string> text;
        if (valueType_ == "float" || valueType_ == "percentage" || valueType_ == "currency") {
            if (auto number = ParseDouble(*value_)) text = FormatSheetNumber(*number);
        } else if (valueType_ == "date") {
            text = OdsDateText(*value_);
        } else if (valueType_ == "time") {
            text = OdsTimeText(*value_);
        } else if (valueType_ == "boolean") {
            if (*value_ == "true" || *value_ == "1") text = "TRUE";
            if (*value_ == "false" || *value_ == "0") text = "FALSE";
        }
        return text ? text : shown;
    }

    void EndCell() {
        inCell_ = false;
        paragraphDepth_ = 0;
        annotationDepth_ = 0;
        if (keeping_) {
            if (auto text = CellText()) {
                const std::int32_t last = std::min(col_ + cellRepeat_, kMaxColumns) - 1;
                lastColumn_ = std::max(lastColumn_, last);
                const std::int32_t keptEnd = std::min<std::int64_t>(last + 1, static_cast<std::int64_t>(sink_.maxColumns));
                for (std::int32_t c = col_; c < keptEnd; ++c) rowCells_.emplace_back(c, *text);
            }
        }
        col_ = std::min(col_ + cellRepeat_, kMaxColumns);
    }

    void EndRow() {
        inRow_ = false;
        const std::int32_t end = std::min(row_ + rowRepeat_, kMaxRows);
        if (keeping_ && lastColumn_ >= 0) {
            for (std::int32_t r = row_; r < end; ++r) {
                sink_.Note(r, lastColumn_);
                for (const auto& [c, text] : rowCells_) sink_.cells[{r, c}] = text;
            }
        }
        row_ = end;
    }

    CellSink& sink_;
    std::vector<std::string>& names_;
    std::vector<std::tuple<Ns, std::string, std::string>> attributes_;

    int depth_ = 0;
    int tableDepth_ = 0;
    bool keeping_ = false, found_ = false;
    bool inRow_ = false, inCell_ = false;
    std::int32_t row_ = 0, rowRepeat_ = 1, col_ = 0, cellRepeat_ = 1, lastColumn_ = -1;
    std::vector<std::pair<std::int32_t, std::string>> rowCells_;
    int cellDepth_ = 0, paragraphDepth_ = 0, annotationDepth_ = 0, paragraphs_ = 0;
    std::string valueType_;
    std::optional<std::string> value_;
    std::string shown_;
};

bool IsOdsSpreadsheet(const CheckedZip& zip) {
    const auto mimetype = zip.Entry("mimetype");
    return mimetype && (*mimetype == "application/vnd.oasis.opendocument.spreadsheet" ||
                        *mimetype == "application/vnd.oasis.opendocument.spreadsheet-template");
}

std::vector<std::string> ReadOds(const CheckedZip& zip, CellSink& sink) {
    // Encrypted parts are listed with their key in the manifest.
    if (auto manifest = zip.Entry("META-INF/manifest.xml"); manifest && manifest->find("encryption-data") != std::string::npos)
        throw Refusal{kPasswordProtected};
    const auto content = zip.Entry("content.xml");
    if (!content) throw Damaged("no content.xml");
    std::vector<std::string> names;
    orcus::xmlns_repository namespaces;
    orcus::xmlns_context context = namespaces.create_context();
    OdsContent handler(sink, names);
    orcus::sax_ns_parser<OdsContent> parser(content->data(), content->size(), context, handler);
    parser.parse();
    return names;
}

// ---------------------------------------------------------------------------

enum class Format { Xlsx, Ods };

class OrcusWorkbook : public SpreadsheetSource {
public:
    OrcusWorkbook(std::filesystem::path path, std::string bytes, Format format)
        : path_(std::move(path)), bytes_(std::move(bytes)), format_(format) {
        CellSink listing;
        names_ = Read(listing);
    }

    std::vector<std::string> SheetNames() const override { return names_; }

    std::vector<SheetRow> ReadRows(std::string_view sheetName, std::size_t maxColumns) const override {
        if (std::find(names_.begin(), names_.end(), sheetName) == names_.end())
            throw Error(WorkbookFailure(path_, "It has no sheet \"" + std::string(sheetName) + "\"."));
        CellSink sink;
        sink.sheet = std::string(sheetName);
        sink.maxColumns = maxColumns;
        Read(sink);
        return sink.Rows();
    }

private:
    std::vector<std::string> Read(CellSink& sink) const {
        try {
            if (format_ == Format::Xlsx) return ReadXlsx(bytes_, sink);
            CheckedZip zip(bytes_);
            return ReadOds(zip, sink);
        } catch (const Refusal& refusal) {
            throw Error(WorkbookFailure(path_, refusal.reason));
        } catch (const std::bad_alloc&) {
            throw Error(WorkbookFailure(path_, "Not enough memory."));
        } catch (const std::exception& e) {
            throw Error(WorkbookFailure(path_, Damaged(std::string(e.what()).substr(0, 200)).reason));
        }
    }

    std::filesystem::path path_;
    std::string bytes_;
    Format format_;
    std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<SpreadsheetSource> OpenOrcusWorkbook(const std::filesystem::path& path) {
    try {
        std::string bytes = ReadWorkbookBytes(path);
        if (bytes.compare(0, 2, "PK") != 0) throw Refusal{kNotAWorkbook};
        const std::vector<std::string> entries = CheckZipDirectory(bytes);
        auto has = [&](std::string_view name) { return std::find(entries.begin(), entries.end(), name) != entries.end(); };
        Format format;
        if (has("[Content_Types].xml") && has("xl/workbook.xml")) {
            format = Format::Xlsx;
        } else if (has("content.xml") && IsOdsSpreadsheet(CheckedZip(bytes))) {
            format = Format::Ods;
        } else {
            throw Refusal{kNotAWorkbook};
        }
        return std::make_unique<OrcusWorkbook>(path, std::move(bytes), format);
    } catch (const Error&) {
        throw;
    } catch (const Refusal& refusal) {
        throw Error(WorkbookFailure(path, refusal.reason));
    } catch (const std::bad_alloc&) {
        throw Error(WorkbookFailure(path, "Not enough memory."));
    } catch (const std::exception& e) {
        throw Error(WorkbookFailure(path, Damaged(std::string(e.what()).substr(0, 200)).reason));
    }
}

}  // namespace vestrel

// The .xlsx reader, on orcus_xlsx. It reads into a small factory of our own
// that keeps each cell's value as the file stores it (formulas: their cached
// result) and computes nothing.
#include "platform/xlsx_reader.h"

#include "platform/workbook_zip.h"
#include "platform/xml_part.h"

#include <orcus/exception.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <memory>
#include <variant>

namespace vestrel {
namespace workbook_io {

namespace {

namespace ss = orcus::spreadsheet;
namespace iface = orcus::spreadsheet::iface;

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
            } else if (const auto* shared = strings.At(std::get<XlsxString>(value).index)) {
                sink_->cells[at] = *shared;
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
class SharedStringsPart : public orcus::sax_ns_handler {
public:
    std::vector<std::string> strings;

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
    ParseXmlPart(*part, handler);
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
        sheets_.push_back(std::make_unique<XlsxSheet>(sink_.Takes(name) ? &sink_ : nullptr));
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
    XlsxGlobals globals_;
    XlsxStrings strings_;
    XlsxStyles styles_;
    A1References references_;
    std::vector<std::unique_ptr<XlsxSheet>> sheets_;
};

}  // namespace

std::vector<std::string> ReadXlsx(std::string_view bytes, CellSink& sink) {
    std::vector<std::string> names;
    XlsxFactory factory(sink, names);
    orcus::orcus_xlsx reader(&factory);
    reader.read_stream(bytes);
    factory.Finish(sink.sheet ? ReadSharedStrings(bytes) : std::nullopt);
    return names;
}

}  // namespace workbook_io
}  // namespace vestrel

// The .ods reader. It walks content.xml with liborcus's XML parser rather
// than using orcus_ods, because orcus_ods 0.17 drops booleans, times,
// percentages, currencies and the text results of formulas.
#include "platform/ods_reader.h"

#include "platform/workbook_refusal.h"
#include "platform/xml_part.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace vestrel {
namespace workbook_io {

namespace {

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
class OdsContent : public orcus::sax_ns_handler {
public:
    OdsContent(CellSink& sink, std::vector<std::string>& names) : sink_(sink), names_(names) {}

    using orcus::sax_ns_handler::attribute;  // those of the XML declaration, ignored
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
        keeping_ = sink_.Takes(names_.back());
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
    bool keeping_ = false;
    bool inRow_ = false, inCell_ = false;
    std::int32_t row_ = 0, rowRepeat_ = 1, col_ = 0, cellRepeat_ = 1, lastColumn_ = -1;
    std::vector<std::pair<std::int32_t, std::string>> rowCells_;
    int cellDepth_ = 0, paragraphDepth_ = 0, annotationDepth_ = 0, paragraphs_ = 0;
    std::string valueType_;
    std::optional<std::string> value_;
    std::string shown_;
};

}  // namespace

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
    OdsContent handler(sink, names);
    ParseXmlPart(*content, handler);
    return names;
}

}  // namespace workbook_io
}  // namespace vestrel

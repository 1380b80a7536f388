#include "can/frame_filter.h"

#include <charconv>

namespace vestrel::can {

namespace {

bool HexNumber(std::string_view digits, std::uint32_t& value) {
    if (digits.empty() || digits.size() > 8) return false;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return ec == std::errc() && end == digits.data() + digits.size();
}

std::optional<FrameFilter> ParseOne(std::string_view text) {
    const std::size_t at = text.find_first_of(":~");
    if (at == std::string_view::npos) return std::nullopt;
    FrameFilter filter;
    filter.inverted = text[at] == '~';
    const std::string_view id = text.substr(0, at);
    if (id.size() != 3 && id.size() != 8) return std::nullopt;
    filter.extended = id.size() == 8;
    if (!HexNumber(id, filter.id) || !HexNumber(text.substr(at + 1), filter.mask)) return std::nullopt;
    const std::uint32_t highest = filter.extended ? kMaxExtendedId : kMaxStandardId;
    if (filter.id > highest) return std::nullopt;
    filter.mask &= highest;
    return filter;
}

}  // namespace

Result<std::vector<FrameFilter>> ParseFrameFilters(std::string_view text) {
    std::vector<FrameFilter> filters;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const std::optional<FrameFilter> filter = ParseOne(item);
        if (!filter)
            return Failure{"a filter is ID:MASK or ID~MASK in hex (3 digits for a standard id, 8 for an extended one), "
                           "such as 181:7FF,200~700; not '" +
                           std::string(item) + "'"};
        filters.push_back(*filter);
        start = comma + 1;
    }
    return filters;
}

bool Passes(const std::vector<FrameFilter>& filters, const CanFrame& frame) {
    if (filters.empty()) return true;
    if (frame.error) return false;
    for (const FrameFilter& f : filters) {
        // A filter of the other format selects nothing of the frame: an
        // inverted one ("all but these") takes it.
        if (f.extended != frame.extended) {
            if (f.inverted) return true;
            continue;
        }
        const bool selected = (frame.id & f.mask) == (f.id & f.mask);
        if (selected != f.inverted) return true;
    }
    return false;
}

}  // namespace vestrel::can

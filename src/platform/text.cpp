#include "platform/text.h"

#include <algorithm>

namespace vestrel {

bool EqualNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string UpperHex(std::uint64_t value, int digits) {
    std::string text;
    do {
        text.insert(text.begin(), UpperHexDigit(static_cast<unsigned>(value)));
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return text;
}

std::string Plural(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

namespace {

std::string JoinedWith(std::span<const std::string> items, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

std::string JoinedWithAnd(std::span<const std::string> items) { return JoinedWith(items, " and "); }

std::string JoinedWithOr(std::span<const std::string> items) { return JoinedWith(items, " or "); }

}  // namespace vestrel

#pragma once

#include "compiler/bank_image.h"
#include "compiler/compile_stamp.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vestrel::test {

// The settings of pargen.xml as (element, text) pairs, in file order.
using Settings = std::vector<std::pair<std::string, std::string>>;

inline Settings DefaultSettings() {
    return {{"BaudRateCAN", "0"}, {"CANType", "0"},     {"Baud_Ser", "3"},    {"Par_Ser", "0"},
            {"IDDev_Ser", "1"},   {"TimeOut_Ser", "1000"}, {"TimeOut_Data", "0"}, {"TO_ModReg", "1"},
            {"Serial", "1"},      {"Cancel_Data", "0"},  {"Can_Data_Inp_Reg", "0"}};
}

inline Settings With(Settings settings, const std::string& name, const std::string& text) {
    for (auto& [n, t] : settings)
        if (n == name) {
            t = text;
            return settings;
        }
    settings.emplace_back(name, text);
    return settings;
}

inline Settings Without(Settings settings, const std::string& name) {
    std::erase_if(settings, [&](const auto& s) { return s.first == name; });
    return settings;
}

inline std::string PargenXml(const Settings& settings) {
    std::string xml = "<GeneralParameter>";
    for (const auto& [name, text] : settings) xml += "<" + name + ">" + text + "</" + name + ">";
    return xml + "</GeneralParameter>";
}

inline void WritePargen(const std::filesystem::path& dir, const Settings& settings,
                        const std::string& fileName = "pargen.xml") {
    WriteFile(dir / fileName, PargenXml(settings));
}

// A row table: each entry is the attribute text of one "row" element.
inline void WriteRows(const std::filesystem::path& file, const std::string& root, const std::vector<std::string>& rows) {
    std::string xml = "<" + root + ">";
    for (const auto& row : rows) xml += "<row " + row + "/>";
    WriteFile(file, xml + "</" + root + ">");
}

inline std::vector<std::string> ManyRows(int count, const std::string& row) { return std::vector<std::string>(count, row); }

// Mapping rows with Index i, NrPdo 1 + i % 7 and PosComp i % 256.
inline std::vector<std::string> MappingRows(int count, int firstIndex = 0) {
    std::vector<std::string> rows;
    for (int i = firstIndex; i < firstIndex + count; ++i)
        rows.push_back("Index=\"" + std::to_string(i) + "\" NrPdo=\"" + std::to_string(1 + i % 7) + "\" PosComp=\"" +
                       std::to_string(i % 256) + "\"");
    return rows;
}

inline unsigned U8(std::span<const std::uint8_t> bank, std::size_t at) { return bank[at]; }
inline unsigned U16(std::span<const std::uint8_t> bank, std::size_t at) { return bank[at] | bank[at + 1] << 8; }
inline std::uint32_t U32(std::span<const std::uint8_t> bank, std::size_t at) {
    return static_cast<std::uint32_t>(U16(bank, at)) | static_cast<std::uint32_t>(U16(bank, at + 2)) << 16;
}

inline std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> from, std::size_t at, std::size_t count) {
    return {from.begin() + static_cast<std::ptrdiff_t>(at), from.begin() + static_cast<std::ptrdiff_t>(at + count)};
}

inline std::vector<std::uint8_t> Copy(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

// 8 December 2024, 13:45:31: PackedDate 0x4618, PackedTime 0x7DAD.
inline constexpr LocalDateTime kStamp{2024, 12, 8, 13, 45, 31};

// Sets or clears an environment variable for one scope and puts back what
// was there before. Changing TZ also resets the C library's time zone.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(name_.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
        ::tzset();
    }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace vestrel::test

#pragma once

// Why a workbook cannot be read, in the words the user reads after
// "Cannot read workbook "...". ", and the one place where a failure inside a
// reader becomes that message. Private to the workbook readers.

#include <filesystem>
#include <string>
#include <string_view>

namespace vestrel {
namespace workbook_io {

inline constexpr const char* kUnreadableFile = "The file does not exist or cannot be read.";
inline constexpr const char* kNotAWorkbook = "It is not an Excel (.xlsx) or OpenDocument (.ods) workbook.";
inline constexpr const char* kNotAnXlsWorkbook = "It is not an Excel 97-2003 workbook (.xls).";
inline constexpr const char* kPasswordProtected = "The workbook is password-protected.";
inline constexpr const char* kTooLarge = "The workbook is too large.";
inline constexpr const char* kNotEnoughMemory = "Not enough memory.";

// Thrown inside a reader for a workbook it will not read. It is no
// std::exception on purpose: the translation below tells it from the
// failures of the libraries, whose texts are details only.
struct Refusal {
    std::string reason;
};

// A workbook that is damaged or uses what the readers do not support;
// `detail` names the part ("zip entry content.xml").
Refusal Damaged(const std::string& detail);

// A sheet asked for by a name the workbook does not list.
Refusal NoSheet(std::string_view name);

// To be called inside a catch block: throws the failure being handled as
// the Error the user reads. An Error passes unchanged, a Refusal gives its
// reason, a lack of memory says so, and any other std::exception counts as
// damage with the start of its text as the detail.
[[noreturn]] void RethrowForUser(const std::filesystem::path& path);

}  // namespace workbook_io
}  // namespace vestrel

#pragma once

#include "compiler/bank_image.h"
#include "compiler/bank_layout.h"
#include "compiler/compile_stamp.h"

#include "platform/error.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vestrel {

// Capacity of the bank layout; a project beyond it is refused.
using layout::kMaxReceiveMappings;
using layout::kMaxTransmitMappings;

// The error for a record without a required attribute.
inline constexpr const char* kMissingIntegerAttributeMessage =
    "Could not convert variant of type (Null) into type (Integer)";

// Why a compile stopped, as values: the project file (as found on disk;
// empty when no one file is at fault), the table row counted from 1 (0 for
// the file as a whole), the element or attribute whose text could not be
// converted (empty when none) and the reason in the system's words. what()
// puts them together as "file: row N: field: text", leaving out what is empty,
// so that a message names its place once.
class CompileError : public Error {
public:
    CompileError(std::string file, int row, std::string field, std::string text);

    const std::string& File() const { return file_; }
    int Row() const { return row_; }
    const std::string& Field() const { return field_; }
    const std::string& Text() const { return text_; }

private:
    std::string file_;
    int row_;
    std::string field_;
    std::string text_;
};

// "file: row N: field: text", leaving out the parts that are empty.
std::string LocatedText(const std::string& file, int row, const std::string& field, const std::string& text);

// The compiler's own texts, shared with the project check.
std::string MissingElementMessage(const std::string& element);        // "The element "X" is missing"
std::string TooManyRowsMessage(const std::string& what, int count, int limit);
std::string CobIdOutside20AMessage(const std::string& cobIdText);
// A CANType whose number and low byte name different modes (256), after
// "CANType: ".
std::string CanTypeDisagreesMessage(std::int64_t value);

// The configuration compiler. One object lives as long as the application and
// owns the five bank images, so that what a compile does not write keeps its
// earlier value.
class BankCompiler {
public:
    // Lays the project's five XML files into the banks. Throws CompileError
    // (a parse error, "'x' is not a valid integer value", a missing attribute
    // or pargen.xml element, a capacity limit); the banks may then be partly
    // updated. With `noted`, every such error is added there instead and the
    // compile goes on as far as it can: what the project check lists. The
    // list is empty exactly when the compile without it would succeed.
    void BuildBankImages(const std::filesystem::path& projectDir, const LocalDateTime& stamp,
                         std::vector<CompileError>* noted = nullptr);
    void BuildBankImages(const std::filesystem::path& projectDir) {
        BuildBankImages(projectDir, CompileStampTime());
    }

    const BankImages& Banks() const { return banks_; }

private:
    BankImages banks_;
};

}  // namespace vestrel

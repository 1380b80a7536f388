#pragma once

#include "compiler/bank_image.h"
#include "compiler/bank_layout.h"
#include "compiler/compile_stamp.h"

#include <filesystem>

namespace vestrel {

// Capacity of the bank layout; a project beyond it is refused.
using layout::kMaxReceiveMappings;
using layout::kMaxTransmitMappings;

// The error for a record without a required attribute.
inline constexpr const char* kMissingIntegerAttributeMessage =
    "Could not convert variant of type (Null) into type (Integer)";

// The configuration compiler. One object lives as long as the application and
// owns the five bank images, so that what a compile does not write keeps its
// earlier value.
class BankCompiler {
public:
    // Lays the project's five XML files into the banks. Throws Error with the
    // user-facing message (a parse error, "'x' is not a valid integer value",
    // a missing attribute or pargen.xml element, a capacity limit); the banks
    // may then be partly updated.
    void BuildBankImages(const std::filesystem::path& projectDir, const LocalDateTime& stamp);
    void BuildBankImages(const std::filesystem::path& projectDir) {
        BuildBankImages(projectDir, CompileStampTime());
    }

    const BankImages& Banks() const { return banks_; }

private:
    BankImages banks_;
};

}  // namespace vestrel

#pragma once

#include "compiler/bank_builder.h"
#include "compiler/bank_image.h"

#include <filesystem>

namespace vestrel {

// The project's bin folder, where the bank files and bankg.c go.
std::filesystem::path BankDir(const std::filesystem::path& projectDir);

// Writes bin/bank1.bin to bin/bank5.bin, 16384 bytes each, creating bin when
// it is missing. Throws Error naming the first file that could not be
// written, so that a stale bank file never reaches the merge.
void WriteBankFiles(const std::filesystem::path& projectDir, const BankImages& banks);

// Writes banks 1 and 2 as bin/bankg.c (235593 bytes, CR LF line ends).
// Throws Error("Cannot create file \"<path>\". <reason>").
void WriteBankSource(const std::filesystem::path& projectDir, const BankImages& banks);

// The compile half of "Update Device": BuildBankImages, WriteBankFiles and
// WriteBankSource in that order; the first error ends it.
void CompileProject(BankCompiler& compiler, const std::filesystem::path& projectDir);

}  // namespace vestrel

#pragma once

#include "compiler/bank_builder.h"
#include "compiler/bank_image.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// The project's bin folder, where the bank files and bankg.c go.
std::filesystem::path BankDir(const std::filesystem::path& projectDir);

// Banks 1 and 2 as C source: bankg.c, 235593 bytes, CR LF line ends.
std::string BankSourceText(const BankImages& banks);

// Writes the files of one compile into bin, creating bin when it is missing:
// bank1.bin to bank5.bin (16384 bytes each), bankg.c and banks.sha256, which
// lists the SHA-256 of each. They are written as one set: every file is
// complete on disk before the first one takes its place, so a build that
// fails leaves the previous set as it was. banks.sha256 takes its place
// last, so that a run stopped while the others take theirs leaves the old
// list beside files it does not list, a set every reader refuses, and never
// the new list beside an old file. Throws Error naming the
// file that could not be written ("Cannot create file "<path>". <reason>").
void WriteBankFiles(const std::filesystem::path& projectDir, const BankImages& banks);

// The compile half of "Update Device": BuildBankImages, then WriteBankFiles;
// the first error ends it and a failed compile writes nothing.
void CompileProject(BankCompiler& compiler, const std::filesystem::path& projectDir);

// What banks.sha256 in a bank folder says of its files.
class BankSetList {
public:
    // Reads binDir/banks.sha256; nothing when the folder has none (bank files
    // made by hand or by an older version of this tool). Throws Error for a
    // list that cannot be read or is not in the form this tool writes.
    static std::optional<BankSetList> Read(const std::filesystem::path& binDir);

    // Throws Error when `bytes` are not what the list gives for `fileName`:
    // the bank files then come from different compiles.
    void Require(const std::string& fileName, std::string_view bytes) const;

private:
    std::filesystem::path path_;
    std::map<std::string, std::string> digests_;  // file name -> lower-case hex SHA-256
};

// The files of one compile in a bank folder: bank1.bin to bank5.bin,
// bankg.c and banks.sha256.
std::vector<std::filesystem::path> BankSetFiles(const std::filesystem::path& binDir);

}  // namespace vestrel

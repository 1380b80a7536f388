#include "compiler/bank_files.h"

#include "compiler/bank_map.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/sha256.h"
#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include <string>
#include <string_view>
#include <system_error>

namespace vestrel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kBytesPerLine = 16;
constexpr std::size_t kBankSourceSize = 235593;

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// One bank as a constant array: "const char BankN [] = {" on the first line,
// 17 blanks in front of the others, 16 values " 0xHH" a line separated by
// ",", and "};" after the last value.
void AppendBankArray(std::string& out, int number, std::span<const std::uint8_t, kBankSize> bank) {
    for (std::size_t i = 0; i < kBankSize; ++i) {
        if (i % kBytesPerLine == 0) {
            if (i == 0)
                out += "const char Bank" + std::to_string(number) + " [] = {";
            else
                out.append(17, ' ');
        }
        out += " 0x";
        out += UpperHexDigit(bank[i] >> 4);
        out += UpperHexDigit(bank[i]);
        if (i + 1 == kBankSize)
            out += "};";
        else
            out += ',';
        if (i % kBytesPerLine == kBytesPerLine - 1) out += kLineEnd;
    }
}

}  // namespace

std::filesystem::path BankDir(const std::filesystem::path& projectDir) { return projectDir / "bin"; }

std::string BankSourceText(const BankImages& banks) {
    std::string text;
    text.reserve(kBankSourceSize);
    text += "#pragma CONST_SEG SEGMENT0";
    text += kLineEnd;
    for (int number = 1; number <= 2; ++number) {
        AppendBankArray(text, number, banks.Bank(number));
        text += kLineEnd;
    }
    text += "#pragma CONST_SEG DEFAULT";
    text += kLineEnd;
    return text;
}

std::vector<std::filesystem::path> BankSetFiles(const std::filesystem::path& binDir) {
    std::vector<std::filesystem::path> files;
    for (const BankRange& bank : kBankTable) files.push_back(binDir / bank.binFile);
    files.push_back(binDir / kBankSourceFile);
    files.push_back(binDir / kBankSetFile);
    return files;
}

void WriteBankFiles(const std::filesystem::path& projectDir, const BankImages& banks) {
    namespace fs = std::filesystem;
    const fs::path dir = BankDir(projectDir);
    RequireOutputFolder(dir);

    struct Output {
        fs::path path;
        std::string data;
    };
    std::vector<Output> outputs;
    for (const BankRange& bank : kBankTable)
        outputs.push_back({dir / bank.binFile, std::string(AsText(banks.Bank(bank.number)))});
    outputs.push_back({dir / kBankSourceFile, BankSourceText(banks)});
    std::string list;
    for (const Output& output : outputs)
        list += Sha256Hex(output.data) + "  " + output.path.filename().string() + "\n";
    outputs.insert(outputs.begin(), Output{dir / kBankSetFile, std::move(list)});

    // Nothing takes its place until every file is written in full; a folder
    // standing where a file goes is refused before that.
    std::vector<std::unique_ptr<AtomicFileWriter>> writers;
    for (const Output& output : outputs) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(output.path, ec)))
            throw Error(CannotCreateMessage(output.path, EISDIR));
        writers.push_back(std::make_unique<AtomicFileWriter>(output.path));
        writers.back()->Write(output.data);
    }
    for (auto& writer : writers) writer->Complete();
    // The list takes its place last: until then the old list stands, which a
    // file already replaced no longer matches, so that a run stopped between
    // two files leaves a set that every reader refuses, and never a new list
    // beside an old file.
    for (std::size_t i = 1; i < writers.size(); ++i) writers[i]->Commit();
    writers.front()->Commit();
}

void CompileProject(BankCompiler& compiler, const std::filesystem::path& projectDir) {
    compiler.BuildBankImages(projectDir);
    WriteBankFiles(projectDir, compiler.Banks());
}

std::optional<BankSetList> BankSetList::Read(const std::filesystem::path& binDir) {
    const std::filesystem::path path = binDir / kBankSetFile;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return std::nullopt;
    const std::string text = ReadRegularFile(path, 4096);
    BankSetList list;
    list.path_ = path;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        // "<64 hex digits>  <file name>"
        if (line.size() < 67 || line.substr(64, 2) != "  " ||
            !std::all_of(line.begin(), line.begin() + 64, IsLowerHexDigit))
            throw Error("The file \"" + path.string() + "\" is not a list of bank files this tool wrote");
        list.digests_[std::string(line.substr(66))] = std::string(line.substr(0, 64));
    }
    return list;
}

void BankSetList::Require(const std::string& fileName, std::string_view bytes) const {
    auto it = digests_.find(fileName);
    if (it == digests_.end() || it->second != Sha256Hex(bytes))
        throw Error("The bank files in \"" + path_.parent_path().string() + "\" do not come from one compile: " +
                    fileName + " is not the file " + kBankSetFile +
                    " lists. Build the project again to write them as one set");
}

}  // namespace vestrel

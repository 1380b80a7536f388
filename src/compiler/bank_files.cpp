#include "compiler/bank_files.h"

#include "platform/file_util.h"

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
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < kBankSize; ++i) {
        if (i % kBytesPerLine == 0) {
            if (i == 0)
                out += "const char Bank" + std::to_string(number) + " [] = {";
            else
                out.append(17, ' ');
        }
        out += " 0x";
        out += kHex[bank[i] >> 4];
        out += kHex[bank[i] & 0x0F];
        if (i + 1 == kBankSize)
            out += "};";
        else
            out += ',';
        if (i % kBytesPerLine == kBytesPerLine - 1) out += kLineEnd;
    }
}

}  // namespace

std::filesystem::path BankDir(const std::filesystem::path& projectDir) { return projectDir / "bin"; }

void WriteBankFiles(const std::filesystem::path& projectDir, const BankImages& banks) {
    const std::filesystem::path dir = BankDir(projectDir);
    // A failure here shows up as the first bank file that cannot be created,
    // with the platform's reason.
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    for (int number = 1; number <= kBankCount; ++number)
        WriteFileAtomic(dir / ("bank" + std::to_string(number) + ".bin"), AsText(banks.Bank(number)));
}

void WriteBankSource(const std::filesystem::path& projectDir, const BankImages& banks) {
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
    WriteFileAtomic(BankDir(projectDir) / "bankg.c", text);
}

void CompileProject(BankCompiler& compiler, const std::filesystem::path& projectDir) {
    compiler.BuildBankImages(projectDir);
    WriteBankFiles(projectDir, compiler.Banks());
    WriteBankSource(projectDir, compiler.Banks());
}

}  // namespace vestrel

#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel {

// Where the merge talks to the user: a text shown with an OK button; the call
// returns when the user has acknowledged it.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Show(const std::string& text) = 0;
};

// The progress of a merge pass: position, maximum, and a step of one.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetPosition(std::int64_t position) = 0;
    virtual void SetMaximum(std::int64_t maximum) = 0;
    virtual void Step() = 0;
};

// One row of the bank table: bank N's file, its address range in the image,
// and the stage file its pass writes.
struct BankRange {
    int number;
    const char* binFile;        // "bank1.bin"
    std::uint32_t first;        // 0x388000
    std::uint32_t last;         // 0x38BFFF
    const char* stageFile;      // "B1.sx"; stage 5 writes NewFileName instead
};
extern const std::array<BankRange, 5> kBankTable;

// The result of one merge pass.
enum class BankMergeResult : int {
    Abandoned = -1,  // an input was missing, no "S9" was met, or an error ended it
    NotFound = 0,    // "S9" reached, but no record lay in the bank's range
    Spliced = 1,     // the bank was spliced in and "S9" reached
};

// What the merge tells the user. Every text that abandons a pass ends in
// ",Abort Procedure".
inline constexpr std::string_view kSxNotFoundMessage = "File *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kNewSxNameMissingMessage = "File New *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kDirBinNotFoundMessage = "Directory Bin Not Found,Abort Procedure";
inline constexpr std::string_view kNewSxNotCreateMessage = "File New Sx Not Create,Abort Procedure";
// The input image exists but cannot be opened.
inline constexpr std::string_view kSxNotOpenMessage = "File *.Sx Not Open,Abort Procedure";
// Bin.sx cannot be created, written or read back.
inline constexpr std::string_view kBinSxNotCreateMessage = "File Bin.sx Not Create,Abort Procedure";
// The image ended without an "S9" record.
inline constexpr std::string_view kS9NotFoundMessage = "Record S9 Not Found,Abort Procedure";
// A data record lies partly inside the bank's range, or an S3 record inside it.
inline constexpr std::string_view kRecordAcrossBankMessage = "Record Across Bank Range,Abort Procedure";
// "File bank1.bin Not Found,Abort Procedure" and so on for banks 1 to 5.
std::string BankFileNotFoundMessage(int bank);
// The bank file exists but cannot be opened or read.
std::string BankFileNotReadMessage(int bank);
// The bank file holds fewer than 16384 bytes.
std::string BankFileTooShortMessage(int bank);

// The two checksum characters of an S-record line whose last two characters
// are a placeholder: ones' complement of the byte sum, upper-case hex. Throws
// std::invalid_argument when a summed character is not a hexadecimal digit.
std::string ChecksumSx(std::string_view record);

struct BankMergeInputs {
    std::filesystem::path baseFirmware;  // the S-record image to start from
    std::string dirBin;                  // bank files folder, with a trailing separator
    std::string dirOut;                  // project folder, with a trailing separator
    std::string newFileName;             // "New_SX58316.sx"
    std::array<bool, 5> bankSelection{true, true, false, false, false};
};

// One merge pass: splices bank `bank` (1 to 5) of run.dirBin into the image
// `input` and writes run.dirOut + outputName, which appears whole or not at
// all. Uses run.dirBin and run.newFileName. A failure is shown through
// `messages` and gives Abandoned; Bin.sx is gone afterwards however the pass
// ends.
BankMergeResult MergeBankSx(const BankMergeInputs& run, int bank, const std::filesystem::path& input,
                            const std::string& outputName, MessageSink& messages, ProgressSink& progress);

struct BankMergeRun {
    // The result of each bank that had a merge pass, in bank order; banks
    // passed through have none.
    std::array<std::optional<BankMergeResult>, 5> results{};
    bool stopped = false;  // a pass returned Abandoned, or the run failed

    // True when every selected bank was spliced in and "S9" was reached: the
    // only outcome whose image may be flashed.
    bool Complete(const std::array<bool, 5>& selection) const;
};

// Splices the selected banks into the base image through the stage files
// B1.sx to B4.sx and writes dirOut + newFileName. Every failure is shown
// through `messages` and ends the run; the stage files and Bin.sx are removed
// however the run ends. `onStageEnd` is called after each merge pass with the
// bank number and its result.
BankMergeRun RunBankMerge(const BankMergeInputs& inputs, MessageSink& messages, ProgressSink& progress,
                          const std::function<void(int bank, BankMergeResult result)>& onStageEnd = {});

}  // namespace vestrel

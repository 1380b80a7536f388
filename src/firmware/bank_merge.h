#pragma once

#include "compiler/bank_map.h"

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

// The progress of a merge: position, maximum, and a step of one.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetPosition(std::int64_t position) = 0;
    virtual void SetMaximum(std::int64_t maximum) = 0;
    virtual void Step() = 0;
};

// The result of splicing one bank.
enum class BankMergeResult : int {
    Abandoned = -1,  // an input was missing, no "S9" was met, or an error ended it
    NotFound = 0,    // "S9" reached, but no record lay in the bank's range
    Spliced = 1,     // the bank was spliced in and "S9" reached
};

// What the merge tells the user. Every text that abandons a run ends in
// ",Abort Procedure"; where the system's reason or the place in a file is
// known, it follows on a line of its own.
inline constexpr std::string_view kSxNotFoundMessage = "File *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kNewSxNameMissingMessage = "File New *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kDirBinNotFoundMessage = "Directory Bin Not Found,Abort Procedure";
inline constexpr std::string_view kNewSxNotCreateMessage = "File New Sx Not Create,Abort Procedure";
// The base image exists but cannot be opened or read.
inline constexpr std::string_view kSxNotOpenMessage = "File *.Sx Not Open,Abort Procedure";
// A line of the base image that is not a well-formed S-record, or a record
// after the end record.
inline constexpr std::string_view kSxNotValidMessage = "File *.Sx Not Valid,Abort Procedure";
// The image ended without an "S9" record.
inline constexpr std::string_view kS9NotFoundMessage = "Record S9 Not Found,Abort Procedure";
// A data record lies partly inside a bank's range, or an S3 record inside it.
inline constexpr std::string_view kRecordAcrossBankMessage = "Record Across Bank Range,Abort Procedure";
// The new image would be written over the base image or a file of the bank
// set (bank1.bin to bank5.bin, bankg.c, banks.sha256), by any path.
inline constexpr std::string_view kNewSxIsInputMessage = "File New Sx Is An Input,Abort Procedure";
// The bank files are not the ones their banks.sha256 lists, or, without the
// list, banks 1 and 2 do not agree with each other.
inline constexpr std::string_view kBanksNotOneSetMessage = "Bank Files Not From One Compile,Abort Procedure";
// "File bank1.bin Not Found,Abort Procedure" and so on for banks 1 to 5.
std::string BankFileNotFoundMessage(int bank);
// The bank file exists but cannot be opened or read.
std::string BankFileNotReadMessage(int bank);
// The bank file holds fewer than 16384 bytes.
std::string BankFileTooShortMessage(int bank);
// The bank file holds more than 16384 bytes.
std::string BankFileTooLongMessage(int bank);

// The two checksum characters of an S-record line whose last two characters
// are a placeholder: ones' complement of the byte sum, upper-case hex. Throws
// std::invalid_argument when a summed character is not a hexadecimal digit.
std::string ChecksumSx(std::string_view record);

// Steps of a run at which a test can stop or overlap it.
enum class MergeStep {
    InputsChecked,  // the inputs are there and the bank files read
    LinesCounted,   // the base image's lines are counted
    BankSpliced,    // a bank's records are in the new image (once per bank)
    ImageCopied,    // the whole image is read; the new image is not in place yet
};

struct BankMergeInputs {
    std::filesystem::path baseFirmware;  // the S-record image to start from
    std::filesystem::path dirBin;        // the folder of the bank files
    std::filesystem::path dirOut;        // the folder the new image goes to
    std::string newFileName;             // "New_SX58316.sx"
    std::array<bool, 5> bankSelection{true, true, false, false, false};
    // A test seam, called as the run reaches each step.
    std::function<void(MergeStep)> atStep;

    std::filesystem::path NewImage() const { return dirOut / newFileName; }
};

// Splices bank `bank` (1 to 5) of run.dirBin into the image `input` and writes
// run.dirOut + outputName, which appears whole or not at all, when the image
// reached "S9" (results NotFound and Spliced). Every failure is shown
// through `messages` and gives Abandoned.
BankMergeResult MergeBankSx(const BankMergeInputs& run, int bank, const std::filesystem::path& input,
                            const std::string& outputName, MessageSink& messages, ProgressSink& progress);

struct BankMergeRun {
    // The result of each selected bank, in bank order; banks not selected
    // have none, nor have selected banks when the run stopped before the image
    // was read.
    std::array<std::optional<BankMergeResult>, 5> results{};
    bool stopped = false;    // an input was missing, the image was refused, or writing it failed
    bool messageShown = false;

    // True when every selected bank was spliced in and "S9" was reached: the
    // only outcome that writes the new image.
    bool Complete(const std::array<bool, 5>& selection) const;
};

// Splices every selected bank of dirBin into the base image in one pass and
// writes dirOut + newFileName, only when each of them was spliced in before
// the end record: otherwise the earlier file of that name, if any, stays as
// it was and nothing else is written either. The base image and the bank
// files are only read. Failures are shown through `messages` and end the
// run. `onStageEnd` is called for each selected bank with its result.
BankMergeRun RunBankMerge(const BankMergeInputs& inputs, MessageSink& messages, ProgressSink& progress,
                          const std::function<void(int bank, BankMergeResult result)>& onStageEnd = {});

// Why a run wrote no image, in the user's words, or an empty text when it
// did or when the run has already said why through its message sink.
std::string ExplainMergeRun(const BankMergeRun& run, const BankMergeInputs& inputs);

}  // namespace vestrel

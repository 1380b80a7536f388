#include "firmware/bank_merge.h"

#include "compiler/bank_files.h"
#include "inspect/bank_decoder.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/output_file.h"
#include "platform/system_file.h"
#include "platform/text.h"
#include "srec/line_reader.h"
#include "srec/s_record.h"


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRecordBytes = 32;
constexpr std::size_t kRecordCount = kBankSize / kRecordBytes;  // 512

// A failure that ends a run: the text shown to the user.
struct RunFailure {
    std::string message;
};

// The system's heading for a failure, and on a line of its own what exactly
// went wrong where.
RunFailure Failure(std::string_view heading, const std::string& detail) {
    return RunFailure{std::string(heading) + (detail.empty() ? "" : "\n" + detail)};
}

std::string BankFileMessage(int bank, const char* what) {
    return std::string("File ") + BankRow(bank).binFile + " " + what + ",Abort Procedure";
}

std::string HexRange(const BankRange& bank) { return "0x" + UpperHex(bank.first, 6) + "-0x" + UpperHex(bank.last, 6); }

// One bank of a run: its row, the 512 records that replace its range, and
// where the pass has got with it.
struct Splice {
    const BankRange* row = nullptr;
    std::string records;  // CR LF after each
    bool inserted = false;
    std::optional<bool> insertedBeforeEnd;  // decided at the first end record
};

// The 512 records of a bank, CR LF after each.
std::string BankRecords(const BankRange& row, const std::string& bytes) {
    std::string text;
    text.reserve(kRecordCount * 78);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        text += srec::S2Record(row.first + static_cast<std::uint32_t>(k * kRecordBytes), data + k * kRecordBytes,
                               kRecordBytes);
        text += "\r\n";
    }
    return text;
}

// ---- input checks ---------------------------------------------------------

// The checks before anything is read, in the order the user should hear of
// them, and the refusal of a new image that would be written over the base
// image or a file of the bank set, by any path.
void CheckInputs(const BankMergeInputs& run, const std::vector<int>& banks, const fs::path& input,
                 const fs::path& output) {
    if (!FileExists(input)) throw Failure(kSxNotFoundMessage, "");
    if (output.filename().empty()) throw Failure(kNewSxNameMissingMessage, "");
    if (!banks.empty() && !DirectoryExists(run.dirBin)) throw Failure(kDirBinNotFoundMessage, "");
    for (int bank : banks)
        if (!FileExists(run.dirBin / BankRow(bank).binFile)) throw Failure(BankFileNotFoundMessage(bank), "");

    std::vector<fs::path> inputs{input};
    if (!run.dirBin.empty())
        for (const fs::path& file : BankSetFiles(run.dirBin)) inputs.push_back(file);
    try {
        if (const auto in = InputAt(output, inputs)) throw Failure(kNewSxIsInputMessage, OutputIsInputMessage(output, *in));
    } catch (const Error& e) {  // an output that no save can replace
        throw Failure(kNewSxNotCreateMessage, e.what());
    }
}

// The bytes of one bank file, which must hold exactly 16384: a longer file
// is refused from its size, before it is read.
std::string ReadBankFile(const fs::path& dirBin, int bank) {
    const fs::path path = dirBin / BankRow(bank).binFile;
    SystemFile file(path, SystemFile::Mode::Read);
    if (!file.IsOpen()) throw Failure(BankFileNotReadMessage(bank), SystemMessage(errno));
    auto tooLong = [&](std::uintmax_t size) {
        return Failure(BankFileTooLongMessage(bank), "\"" + path.string() + "\" holds " + std::to_string(size) +
                                                         " bytes; a bank file holds " + std::to_string(kBankSize));
    };
    if (const auto size = file.RegularFileSize(); size && *size > kBankSize) throw tooLong(*size);
    std::string bytes(kBankSize + 1, '\0');
    const std::ptrdiff_t got = file.ReadFully(bytes.data(), bytes.size());
    if (got < 0) throw Failure(BankFileNotReadMessage(bank), SystemMessage(errno));
    if (static_cast<std::size_t>(got) < kBankSize) throw Failure(BankFileTooShortMessage(bank), "");
    if (static_cast<std::size_t>(got) > kBankSize) throw tooLong(static_cast<std::uintmax_t>(got));  // it grew
    bytes.resize(kBankSize);
    return bytes;
}

// Bank files without a banks.sha256 (made by hand or by an older version):
// banks 1 and 2 must agree with each other the way a compile lays them out,
// as the decoder checks them, so that bank 1 of one project never goes in
// with bank 2 of another. Checked when either is spliced in and both files
// are there.
void RequireBanksAgree(const fs::path& dirBin, const std::map<int, std::string>& read) {
    BankImages images;
    for (int bank = 1; bank <= 2; ++bank) {
        auto it = read.find(bank);
        if (it == read.end() && !FileExists(dirBin / BankRow(bank).binFile)) return;
        const std::string bytes = it != read.end() ? it->second : ReadBankFile(dirBin, bank);
        std::transform(bytes.begin(), bytes.end(), images.Bank(bank).begin(),
                       [](char c) { return static_cast<std::uint8_t>(c); });
    }
    try {
        DecodeBanks(images);
    } catch (const Error& e) {
        throw Failure(kBanksNotOneSetMessage, "The bank files in \"" + dirBin.string() + "\" have no " +
                                                  kBankSetFile + ", and " + BankRow(1).binFile + " and " +
                                                  BankRow(2).binFile + " do not come from one compile: " + e.what());
    }
}

// The bank files, each exactly 16384 bytes and, where the folder lists its
// compile in banks.sha256, the files of that compile; without the list,
// banks 1 and 2 that agree with each other.
std::vector<Splice> ReadBanks(const fs::path& dirBin, const std::vector<int>& banks) {
    std::optional<BankSetList> list;
    try {
        list = BankSetList::Read(dirBin);
    } catch (const Error& e) {
        throw Failure(kBanksNotOneSetMessage, e.what());
    }
    std::map<int, std::string> read;
    for (int bank : banks) {
        const std::string& bytes = read[bank] = ReadBankFile(dirBin, bank);
        if (list) {
            try {
                list->Require(BankRow(bank).binFile, bytes);
            } catch (const Error& e) {
                throw Failure(kBanksNotOneSetMessage, e.what());
            }
        }
    }
    if (!list && (read.count(1) || read.count(2))) RequireBanksAgree(dirBin, read);
    std::vector<Splice> splices;
    for (const auto& [bank, bytes] : read) {
        Splice& splice = splices.emplace_back();
        splice.row = &BankRow(bank);
        splice.records = BankRecords(*splice.row, bytes);
    }
    return splices;
}

// ---- the line classifier --------------------------------------------------

enum class Action {
    Keep,    // the line goes into the new image as it is
    Drop,    // the line lies in a bank's range and is replaced
    Insert,  // the first line in a bank's range: the bank's records take its place
    Count,   // an S5 or S6 record: the count of the new image's data records so far takes its place
};

struct Decision {
    Action action = Action::Keep;
    Splice* splice = nullptr;  // for Insert
};

// Decides what becomes of each line of the image and keeps track of the
// banks and the end record. Throws RunFailure for a line the image must not
// hold.
class LineClassifier {
public:
    LineClassifier(std::vector<Splice>& splices, std::string imageName)
        : splices_(splices), imageName_(std::move(imageName)) {}

    Decision Classify(std::string_view line, std::int64_t number) {
        if (line.empty())  // what the merge always called an image it cannot take
            throw Failure(kNewSxNotCreateMessage, Where(number) + "the line is empty");
        srec::Record record;
        if (std::string why = srec::Parse(line, record); !why.empty()) {
            throw Failure(BadAddress(line) ? kNewSxNotCreateMessage : kSxNotValidMessage, Where(number) + why);
        }
        if (endLine_ != 0)
            throw Failure(kSxNotValidMessage,
                          Where(number) + "a record follows the end record of line " + std::to_string(endLine_));
        if (record.IsEnd()) {
            endLine_ = number;
            endIsS9_ = record.type == 9;
            for (Splice& s : splices_) s.insertedBeforeEnd = s.inserted;
            return {};
        }
        if (record.IsCount()) return {Action::Count, nullptr};
        if (!record.IsData()) return {};  // the S0 header

        const std::int64_t first = record.address;
        const std::int64_t end = first + static_cast<std::int64_t>(record.dataBytes);
        Decision decision;
        for (Splice& s : splices_) {
            const std::int64_t low = s.row->first;
            const std::int64_t high = std::int64_t{s.row->last} + 1;
            const bool startsInside = first >= low && first < high;
            // Records are replaced whole: one that lies only partly in the range
            // would keep bank bytes beside the bank or take bytes outside it along.
            if (startsInside ? (end > high || record.type == 3) : (first < low && end > low))
                throw Failure(kRecordAcrossBankMessage,
                              Where(number) + "the record covers " + Hex(first) + "-" + Hex(end - 1) +
                                  ", bank " + std::to_string(s.row->number) + " is " + HexRange(*s.row));
            if (!startsInside) continue;
            if (s.inserted) {
                decision.action = Action::Drop;
            } else {
                s.inserted = true;
                decision = {Action::Insert, &s};
            }
        }
        dataRecords_ += decision.action == Action::Keep ? 1 : decision.action == Action::Insert ? kRecordCount : 0;
        return decision;
    }

    // "<image>, line N: ", the place in a message.
    std::string Where(std::int64_t number) const {
        return imageName_ + ", line " + std::to_string(number) + ": ";
    }

    // The data records the new image holds so far, for its count records.
    std::uint64_t DataRecords() const { return dataRecords_; }

    bool EndReached() const { return endLine_ != 0; }
    bool EndIsS9() const { return endIsS9_; }

private:
    // An S1 or S2 record whose address field is missing, cut short or not
    // hexadecimal: the merge has always answered it with "File New Sx Not Create".
    static bool BadAddress(std::string_view line) {
        if (line.size() < 2 || line[0] != 'S' || (line[1] != '1' && line[1] != '2')) return false;
        const std::size_t end = 4 + 2 * static_cast<std::size_t>(srec::AddressBytes(line[1] - '0'));
        if (line.size() < end) return true;
        for (std::size_t i = 4; i < end; ++i)
            if (HexDigitValue(line[i]) < 0) return true;
        return false;
    }

    static std::string Hex(std::int64_t value) { return "0x" + UpperHex(static_cast<std::uint64_t>(value), 6); }

    std::vector<Splice>& splices_;
    std::string imageName_;
    std::int64_t endLine_ = 0;
    bool endIsS9_ = false;
    std::uint64_t dataRecords_ = 0;
};

// ---- the copier -----------------------------------------------------------

// Writes the kept lines to the new image. Lines that already end in CR LF
// stay in the reader's buffer and leave it as runs, not line by line; any
// other line end becomes CR LF.
class Copier {
public:
    Copier(AtomicFileWriter& writer, srec::LineReader& reader) : writer_(writer) {
        reader.BeforeRefill([this] { FlushRun(); });
    }

    void Keep(const srec::LineReader::Line& line) {
        if (line.crlf && runSize_ > 0 && run_ + runSize_ == line.text.data()) {
            runSize_ += line.text.size() + 2;
            return;
        }
        FlushRun();
        if (line.crlf) {
            run_ = line.text.data();
            runSize_ = line.text.size() + 2;
        } else {
            writer_.Write(line.text);
            writer_.Write("\r\n");
        }
    }

    void Insert(const std::string& records) {
        FlushRun();
        writer_.Write(records);
    }

    void FlushRun() {
        if (runSize_ == 0) return;
        writer_.Write(std::string_view(run_, runSize_));
        runSize_ = 0;
    }

private:
    AtomicFileWriter& writer_;
    const char* run_ = nullptr;
    std::size_t runSize_ = 0;
};

// ---- the pass -------------------------------------------------------------

// Reads the image from `reader`, line by line, and writes what each line
// becomes. Throws RunFailure for a line the image must not hold and Error
// when reading or writing fails.
void CopyLines(srec::LineReader& reader, LineClassifier& classifier, AtomicFileWriter& writer,
               ProgressSink& progress, const std::function<void(MergeStep)>& step) {
    Copier copier(writer, reader);
    srec::LineReader::Line line;
    while (reader.Next(line)) {
        progress.Step();
        if (line.tooLong)
            throw Failure(kSxNotValidMessage, classifier.Where(reader.LineNumber()) + "the line is longer than any S-record");
        const Decision decision = classifier.Classify(line.text, reader.LineNumber());
        if (decision.action == Action::Keep) {
            copier.Keep(line);
        } else if (decision.action == Action::Insert) {
            copier.Insert(decision.splice->records);
            for (std::size_t k = 0; k < kRecordCount; ++k) progress.Step();
            step(MergeStep::BankSpliced);
        } else if (decision.action == Action::Count) {
            // The base image's count is of its own records; a count the
            // record types cannot hold is left out.
            if (const std::string count = srec::CountRecord(classifier.DataRecords()); !count.empty())
                copier.Insert(count + "\r\n");
        }
    }
    copier.FlushRun();
}

// One pass over `input` that splices `banks` into it and writes `output`:
// always when the image reached "S9" (`requireAll` false), or only when every
// bank was spliced in before its end record (`requireAll` true). The results
// go into `results`, one per bank in the order of `banks`.
void SplicePass(const BankMergeInputs& run, const std::vector<int>& banks, const fs::path& input,
                const fs::path& output, bool requireAll, MessageSink& messages, ProgressSink& progress,
                std::vector<BankMergeResult>& results) {
    results.assign(banks.size(), BankMergeResult::Abandoned);
    progress.SetPosition(0);
    const std::function<void(MergeStep)> step = [&](MergeStep s) {
        if (run.atStep) run.atStep(s);
    };
    std::int64_t maximum = 0;
    try {
        CheckInputs(run, banks, input, output);
        std::vector<Splice> splices = ReadBanks(run.dirBin, banks);
        step(MergeStep::InputsChecked);

        SystemFile in(input, SystemFile::Mode::Read);
        if (!in.IsOpen()) throw Failure(kSxNotOpenMessage, CannotReadMessage(input, errno));
        in.AdviseSequential();
        std::optional<AtomicFileWriter> writer;
        try {
            writer.emplace(output, AtomicFileWriter::Sync::NoSync);
        } catch (const Error& e) {
            throw Failure(kNewSxNotCreateMessage, e.what());
        }

        srec::LineReader reader(in, input);
        LineClassifier classifier(splices, input.string());
        try {
            maximum = static_cast<std::int64_t>(kRecordCount * splices.size()) + reader.CountLines();
            reader.Rewind();
        } catch (const Error& e) {
            throw Failure(kSxNotOpenMessage, e.what());
        }
        progress.SetMaximum(maximum);
        step(MergeStep::LinesCounted);

        try {
            CopyLines(reader, classifier, *writer, progress, step);
        } catch (const Error& e) {  // reading the image or writing the new one
            throw Failure(kNewSxNotCreateMessage, e.what());
        }

        for (std::size_t i = 0; i < splices.size(); ++i)
            if (classifier.EndIsS9())
                results[i] = splices[i].insertedBeforeEnd.value_or(false) ? BankMergeResult::Spliced
                                                                         : BankMergeResult::NotFound;
        if (!classifier.EndIsS9()) throw Failure(kS9NotFoundMessage, input.string() + " has no S9 end record");
        step(MergeStep::ImageCopied);

        const bool all = std::all_of(results.begin(), results.end(),
                                     [](BankMergeResult r) { return r == BankMergeResult::Spliced; });
        if (!requireAll || all) {
            try {
                writer->Commit();
            } catch (const Error& e) {
                throw Failure(kNewSxNotCreateMessage, e.what());
            }
        }
    } catch (const RunFailure& failure) {
        messages.Show(failure.message);
        results.assign(banks.size(), BankMergeResult::Abandoned);
    }
    progress.SetPosition(maximum);
}

// Shows what it is shown and remembers that it was.
class NotingSink : public MessageSink {
public:
    explicit NotingSink(MessageSink& inner) : inner_(inner) {}
    void Show(const std::string& text) override {
        shown = true;
        inner_.Show(text);
    }
    bool shown = false;

private:
    MessageSink& inner_;
};

}  // namespace

std::string BankFileNotFoundMessage(int bank) { return BankFileMessage(bank, "Not Found"); }
std::string BankFileNotReadMessage(int bank) { return BankFileMessage(bank, "Not Read"); }
std::string BankFileTooShortMessage(int bank) { return BankFileMessage(bank, "Too Short"); }
std::string BankFileTooLongMessage(int bank) { return BankFileMessage(bank, "Too Long"); }

std::string ChecksumSx(std::string_view record) { return srec::Checksum(record); }

BankMergeResult MergeBankSx(const BankMergeInputs& run, int bank, const fs::path& input,
                            const std::string& outputName, MessageSink& messages, ProgressSink& progress) {
    std::vector<BankMergeResult> results;
    const bool named = !run.newFileName.empty() && !outputName.empty();
    SplicePass(run, {bank}, input, named ? run.dirOut / outputName : fs::path(), false, messages, progress, results);
    return results.front();
}

bool BankMergeRun::Complete(const std::array<bool, 5>& selection) const {
    if (stopped) return false;
    for (std::size_t i = 0; i < selection.size(); ++i)
        if (selection[i] && results[i] != BankMergeResult::Spliced) return false;
    return true;
}

// One pass for all selected banks: a bank's records never lie in another
// bank's range, so splicing them one after the other through stage files
// gives the same image, and a single pass leaves no stage file for another
// run to mix up or for a kill to leave behind.
BankMergeRun RunBankMerge(const BankMergeInputs& inputs, MessageSink& messages, ProgressSink& progress,
                          const std::function<void(int bank, BankMergeResult result)>& onStageEnd) {
    BankMergeRun run;
    NotingSink noted(messages);
    std::vector<int> banks;
    for (const BankRange& row : kBankTable)
        if (inputs.bankSelection[static_cast<std::size_t>(row.number - 1)]) banks.push_back(row.number);

    const fs::path output = inputs.newFileName.empty() ? fs::path() : inputs.NewImage();
    if (banks.empty()) {
        // Nothing to splice: the new image is the base image as it is.
        try {
            CheckInputs(inputs, banks, inputs.baseFirmware, output);
            AtomicFileWriter writer(output, AtomicFileWriter::Sync::NoSync);
            writer.Write(ReadWholeFile(inputs.baseFirmware));
            writer.Commit();
        } catch (const RunFailure& failure) {
            noted.Show(failure.message);
            run.stopped = true;
        } catch (const Error& e) {
            noted.Show(std::string(kNewSxNotCreateMessage) + "\n" + e.what());
            run.stopped = true;
        }
        run.messageShown = noted.shown;
        return run;
    }

    std::vector<BankMergeResult> results;
    SplicePass(inputs, banks, inputs.baseFirmware, output, true, noted, progress, results);
    for (std::size_t i = 0; i < banks.size(); ++i) {
        if (results[i] == BankMergeResult::Abandoned) run.stopped = true;
        run.results[static_cast<std::size_t>(banks[i] - 1)] = results[i];
        if (onStageEnd) onStageEnd(banks[i], results[i]);
    }
    run.messageShown = noted.shown;
    return run;
}

std::string ExplainMergeRun(const BankMergeRun& run, const BankMergeInputs& inputs) {
    if (run.Complete(inputs.bankSelection)) return {};
    std::string why;
    for (const BankRange& bank : kBankTable) {
        const auto& result = run.results[static_cast<std::size_t>(bank.number - 1)];
        if (result && *result == BankMergeResult::NotFound) {
            if (!why.empty()) why += '\n';
            why += "Bank " + std::to_string(bank.number) + " address range " + HexRange(bank) + " not found in " +
                   inputs.baseFirmware.filename().string() + ",Abort Procedure";
        }
    }
    if (!why.empty()) return why + "\nNo new image was written.";
    return run.messageShown ? std::string() : "New firmware not complete,Abort Procedure";
}

}  // namespace vestrel

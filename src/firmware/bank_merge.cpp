#include "firmware/bank_merge.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace vestrel {

namespace fs = std::filesystem;

const std::array<BankRange, 5> kBankTable{{
    {1, "bank1.bin", 0x388000, 0x38BFFF, "B1.sx"},
    {2, "bank2.bin", 0x398000, 0x39BFFF, "B2.sx"},
    {3, "bank3.bin", 0x3A8000, 0x3ABFFF, "B3.sx"},
    {4, "bank4.bin", 0x3B8000, 0x3BBFFF, "B4.sx"},
    {5, "bank5.bin", 0x3C8000, 0x3CBFFF, "B5.sx"},
}};

namespace {

constexpr std::size_t kBankSize = 16384;
constexpr std::size_t kRecordBytes = 32;
constexpr std::size_t kRecordCount = kBankSize / kRecordBytes;  // 512
constexpr std::size_t kRecordLength = 76;                        // "S224" + 6 + 64 + 2
constexpr const char* kBankRecordFileName = "Bin.sx";

// Large enough that a pass makes few system calls (smaller ones measured slower).
constexpr std::size_t kReadBufferSize = 1 << 20;
constexpr std::size_t kWriteBufferSize = 1 << 20;

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::array<signed char, 256> kHexValue = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<signed char>(c);
    for (int c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<signed char>(10 + c);
        table['a' + c] = static_cast<signed char>(10 + c);
    }
    return table;
}();

int HexValue(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

// The value of `kDigits` hexadecimal digits, or -1 when one is not a digit.
// The digits are looked up independently and checked together.
template <int kDigits>
std::int64_t ParseHex(const char* text) {
    static_assert(kDigits <= 8);
    std::int64_t value = 0;
    std::int32_t invalid = 0;
    for (int i = 0; i < kDigits; ++i) {
        const std::int32_t digit = HexValue(text[i]);
        invalid |= digit;
        value = (value << 4) | (digit & 0xF);
    }
    return invalid < 0 ? -1 : value;
}

// The addresses [first, end) that a data record's bytes go to, after its
// byte count (two digits at column 3) and address (from column 5); nothing
// when either is not hexadecimal.
struct DataExtent {
    std::int64_t first;
    std::int64_t end;
};
template <int kAddressDigits>
std::optional<DataExtent> RecordExtent(std::string_view line) {
    if (line.size() < 4 + kAddressDigits) return std::nullopt;
    const std::int64_t count = ParseHex<2>(line.data() + 2);
    const std::int64_t address = ParseHex<kAddressDigits>(line.data() + 4);
    if (count < 0 || address < 0) return std::nullopt;
    // The count covers the address, the data and the checksum.
    const std::int64_t dataBytes = std::max<std::int64_t>(0, count - kAddressDigits / 2 - 1);
    return DataExtent{address, address + dataBytes};
}

// Ends a pass with `message` shown to the user.
struct PassFailure {
    std::string message;
};

const BankRange& BankRow(int bank) {
    if (bank < 1 || bank > 5) throw std::invalid_argument("bank number out of range: " + std::to_string(bank));
    return kBankTable[static_cast<std::size_t>(bank - 1)];
}

std::string BankFileMessage(int bank, const char* what) {
    return std::string("File ") + BankRow(bank).binFile + " " + what + ",Abort Procedure";
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int OpenForReading(const fs::path& path) {
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads up to `size` bytes, retrying short reads; returns the count or -1.
ssize_t ReadFully(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// The first CR, LF or Ctrl-Z in [p, end), or end. One pass over the bytes,
// sixteen at a time where the processor allows.
const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i sub = _mm_set1_epi8('\x1A');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, sub));
        if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n' || *p == '\x1A') return p;
    return end;
}

// Splits a file into lines ending at CR LF, LF or a lone CR; a Ctrl-Z ends the
// file. A line longer than the buffer comes in pieces, so that memory stays
// bounded whatever the input. Throws PassFailure on a read error.
class LineReader {
public:
    struct Piece {
        std::string_view text;
        bool first = false;  // the line starts with this piece
        bool last = false;   // the line ends after this piece
        bool crlf = false;   // the line ended in CR LF, which follow `text` in memory
    };

    explicit LineReader(int fd) : fd_(fd), buffer_(new char[kReadBufferSize]) {}

    // Called before the buffer is overwritten, so that pieces still held
    // can be used up.
    void BeforeRefill(std::function<void()> hook) { beforeRefill_ = std::move(hook); }

    void Rewind() {
        if (::lseek(fd_, 0, SEEK_SET) != 0) throw PassFailure{std::string(kNewSxNotCreateMessage)};
        pos_ = end_ = 0;
        eof_ = false;
        inLine_ = false;
    }

    // The next piece of text; false at the end of the file.
    bool Next(Piece& piece) {
        for (;;) {
            if (pos_ == end_) {
                if (!eof_) {
                    Fill();
                    continue;
                }
                if (inLine_) {  // the file ended inside a line that came in pieces
                    inLine_ = false;
                    piece = {std::string_view(), false, true, false};
                    return true;
                }
                return false;
            }
            const char* data = buffer_.get();
            const std::size_t end = static_cast<std::size_t>(FindLineEnd(data + pos_, data + end_) - data);
            const bool roomToRead = pos_ > 0 || end_ < kReadBufferSize;

            if (end == end_) {  // no line end in the buffer
                if (!eof_ && roomToRead) {
                    Fill();
                    continue;
                }
                piece = {View(pos_, end_), !inLine_, eof_, false};
                inLine_ = !eof_;
                pos_ = end_;
                return true;
            }
            const char terminator = data[end];
            if (terminator == '\r' && end + 1 == end_ && !eof_) {  // CR LF or a lone CR: look one byte further
                if (roomToRead) {
                    Fill();
                    continue;
                }
                piece = {View(pos_, end), !inLine_, false, false};
                inLine_ = true;
                pos_ = end;
                return true;
            }

            const bool first = !inLine_;
            piece = {View(pos_, end), first, true, false};
            inLine_ = false;
            if (terminator == '\x1A') {  // Ctrl-Z: nothing after it is read
                eof_ = true;
                pos_ = end_ = end;
                return !(first && piece.text.empty());
            }
            pos_ = end + 1;
            if (terminator == '\r' && pos_ < end_ && data[pos_] == '\n') {
                piece.crlf = true;
                ++pos_;
            }
            return true;
        }
    }

    // The number of lines from the current position to the end of the file,
    // counted as Next() would return them, without splitting: line feeds, plus
    // carriage returns not followed by one, plus a last line without an end.
    std::int64_t CountLines() {
        std::int64_t lineFeeds = 0, returns = 0, pairs = 0;
        char last = '\n';  // as if a line had just ended
        for (;;) {
            if (pos_ == end_) {
                if (eof_) break;
                Fill();
                continue;
            }
            const char* data = buffer_.get() + pos_;
            std::size_t size = end_ - pos_;
            if (const void* sub = std::memchr(data, '\x1A', size)) {
                size = static_cast<std::size_t>(static_cast<const char*>(sub) - data);
                eof_ = true;
                end_ = pos_ + size;
                if (size == 0) break;
            }
            if (last == '\r' && data[0] == '\n') ++pairs;
            CountEnds(data, size, lineFeeds, returns, pairs);
            last = data[size - 1];
            pos_ = end_;
        }
        return lineFeeds + returns - pairs + (last != '\r' && last != '\n' ? 1 : 0);
    }

private:
    // Adds the LF bytes, the CR bytes and the CR LF pairs within [data, data + size).
    static void CountEnds(const char* data, std::size_t size, std::int64_t& lineFeeds, std::int64_t& returns,
                          std::int64_t& pairs) {
        std::size_t i = 0;
#if defined(__SSE2__)
        // Byte-wide counters, summed before they can overflow.
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i zero = _mm_setzero_si128();
        auto sum = [&](__m128i counts) {
            const __m128i total = _mm_sad_epu8(counts, zero);
            return static_cast<std::int64_t>(_mm_cvtsi128_si64(total) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
        };
        while (i + 17 <= size) {
            __m128i crCount = zero, lfCount = zero, pairCount = zero;
            for (int round = 0; round < 255 && i + 17 <= size; ++round, i += 16) {
                const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
                const __m128i isCr = _mm_cmpeq_epi8(here, cr);
                crCount = _mm_sub_epi8(crCount, isCr);
                lfCount = _mm_sub_epi8(lfCount, _mm_cmpeq_epi8(here, lf));
                pairCount = _mm_sub_epi8(pairCount, _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf)));
            }
            returns += sum(crCount);
            lineFeeds += sum(lfCount);
            pairs += sum(pairCount);
        }
#endif
        for (; i < size; ++i) {
            if (data[i] == '\n') {
                ++lineFeeds;
            } else if (data[i] == '\r') {
                ++returns;
                if (i + 1 < size && data[i + 1] == '\n') ++pairs;
            }
        }
    }

    std::string_view View(std::size_t from, std::size_t to) const {
        return std::string_view(buffer_.get() + from, to - from);
    }

    // Moves the unread rest to the front and reads once more.
    void Fill() {
        if (beforeRefill_) beforeRefill_();
        if (pos_ > 0) {
            std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        for (;;) {
            ssize_t n = ::read(fd_, buffer_.get() + end_, kReadBufferSize - end_);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw PassFailure{std::string(kNewSxNotCreateMessage)};
            }
            if (n == 0) eof_ = true;
            end_ += static_cast<std::size_t>(n);
            return;
        }
    }

    int fd_;
    std::unique_ptr<char[]> buffer_;
    std::function<void()> beforeRefill_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool inLine_ = false;
};

// Gathers small pieces in front of an AtomicFileWriter; large ones go straight
// to the file.
class OutputBuffer {
public:
    explicit OutputBuffer(AtomicFileWriter& writer) : writer_(writer), buffer_(new char[kWriteBufferSize]) {}

    void Append(std::string_view data) {
        if (data.size() < kWriteBufferSize / 2 && data.size() <= kWriteBufferSize - size_) {
            std::memcpy(buffer_.get() + size_, data.data(), data.size());
            size_ += data.size();
            return;
        }
        Flush();
        if (data.size() >= kWriteBufferSize / 2) {  // large enough to go straight to the file
            writer_.Write(data);
        } else {
            std::memcpy(buffer_.get(), data.data(), data.size());
            size_ = data.size();
        }
    }

    void Flush() {
        if (size_ == 0) return;
        writer_.Write(std::string_view(buffer_.get(), size_));
        size_ = 0;
    }

private:
    AtomicFileWriter& writer_;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
};

// Removes a file when the scope ends.
class RemoveOnExit {
public:
    explicit RemoveOnExit(fs::path path) : path_(std::move(path)) {}
    ~RemoveOnExit() {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    fs::path path_;
};

// The 512 records of the bank, CR LF after each.
std::string BankRecordText(const BankRange& row, const char* data) {
    std::string text;
    text.reserve(kRecordCount * (kRecordLength + 2));
    std::string record(kRecordLength, '0');
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        const std::uint32_t address = row.first + static_cast<std::uint32_t>(k * kRecordBytes);
        char* out = record.data();
        *out++ = 'S';
        *out++ = '2';
        *out++ = '2';
        *out++ = '4';
        for (int shift = 20; shift >= 0; shift -= 4) *out++ = kHexDigits[(address >> shift) & 0xF];
        for (std::size_t i = 0; i < kRecordBytes; ++i) {
            const auto byte = static_cast<unsigned char>(data[k * kRecordBytes + i]);
            *out++ = kHexDigits[byte >> 4];
            *out++ = kHexDigits[byte & 0xF];
        }
        out[0] = out[1] = '0';
        const std::string checksum = ChecksumSx(record);
        out[0] = checksum[0];
        out[1] = checksum[1];
        text += record;
        text += "\r\n";
    }
    return text;
}

struct PassOptions {
    // The number of lines of the input when the caller wrote it itself; saves
    // the counting read.
    std::optional<std::int64_t> knownLineCount;
    // The lines written, for the next pass's knownLineCount.
    std::int64_t* linesWritten = nullptr;
};

BankMergeResult MergePass(const BankMergeInputs& run, int bank, const fs::path& input, const std::string& outputName,
                          MessageSink& messages, ProgressSink& progress, const PassOptions& options) {
    const BankRange& row = BankRow(bank);
    BankMergeResult result = BankMergeResult::Abandoned;
    progress.SetPosition(0);

    if (!FileExists(input)) {
        messages.Show(std::string(kSxNotFoundMessage));
        return result;
    }
    if (run.newFileName.empty()) {
        messages.Show(std::string(kNewSxNameMissingMessage));
        return result;
    }
    if (!DirectoryExists(run.dirBin)) {
        messages.Show(std::string(kDirBinNotFoundMessage));
        return result;
    }
    const fs::path bankFile = fs::path(run.dirBin) / row.binFile;
    if (!FileExists(bankFile)) {
        messages.Show(BankFileNotFoundMessage(bank));
        return result;
    }

    // The bank first, so that a bad bank file creates nothing.
    std::unique_ptr<char[]> bankData(new char[kBankSize]);
    {
        Fd fd(OpenForReading(bankFile));
        const ssize_t got = fd.get() < 0 ? -1 : ReadFully(fd.get(), bankData.get(), kBankSize);
        if (got < 0) {
            messages.Show(BankFileNotReadMessage(bank));
            return result;
        }
        if (static_cast<std::size_t>(got) < kBankSize) {
            messages.Show(BankFileTooShortMessage(bank));
            return result;
        }
    }

    const fs::path recordFile = fs::path(run.dirBin) / kBankRecordFileName;
    std::optional<RemoveOnExit> removeRecordFile;
    std::int64_t counter = 0;
    bool counted = false;
    try {
        // Bin.sx: written, then read back, and the text read back is what is spliced in.
        const std::string records = BankRecordText(row, bankData.get());
        std::string recordsRead;
        try {
            AtomicFileWriter writer(recordFile, AtomicFileWriter::Sync::NoSync);
            writer.Write(records);
            writer.Commit();
            removeRecordFile.emplace(recordFile);
            recordsRead = ReadWholeFile(recordFile);
        } catch (const Error&) {
            throw PassFailure{std::string(kBinSxNotCreateMessage)};
        }
        if (recordsRead != records) throw PassFailure{std::string(kBinSxNotCreateMessage)};
        counter = static_cast<std::int64_t>(kRecordCount);

        Fd in(OpenForReading(input));
        if (in.get() < 0) throw PassFailure{std::string(kSxNotOpenMessage)};
        ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

        const fs::path outputPath = fs::path(run.dirOut) / outputName;
        std::optional<AtomicFileWriter> writer;
        try {
            writer.emplace(outputPath, AtomicFileWriter::Sync::NoSync);
        } catch (const Error&) {
            throw PassFailure{std::string(kNewSxNotCreateMessage)};
        }

        LineReader reader(in.get());
        LineReader::Piece piece;
        if (options.knownLineCount) {
            counter += *options.knownLineCount;
        } else {
            counter += reader.CountLines();
            reader.Rewind();
        }
        counted = true;
        progress.SetMaximum(counter);

        OutputBuffer out(*writer);
        std::int64_t written = 0;
        bool notInserted = true;
        // Whether the bank was in before the first end record (S7, S8 or S9):
        // a loader reads nothing after that record.
        std::optional<bool> insertedBeforeEnd;
        bool keep = true;
        // Lines kept as they are, with their CR LF, still in the reader's
        // buffer: copied out as one run rather than line by line.
        const char* run = nullptr;
        std::size_t runSize = 0;
        auto flushRun = [&] {
            if (runSize == 0) return;
            out.Append(std::string_view(run, runSize));
            runSize = 0;
        };
        reader.BeforeRefill(flushRun);
        try {
            while (reader.Next(piece)) {
                if (piece.first) {
                    progress.Step();
                    const std::string_view line = piece.text;
                    if (piece.last && line.empty()) throw PassFailure{std::string(kNewSxNotCreateMessage)};
                    keep = true;
                    if (line.size() >= 2 && line[0] == 'S' && (line[1] == '1' || line[1] == '2')) {
                        const bool s1 = line[1] == '1';
                        const auto extent = s1 ? RecordExtent<4>(line) : RecordExtent<6>(line);
                        if (!extent) throw PassFailure{std::string(kNewSxNotCreateMessage)};
                        const bool inRange = extent->first >= row.first && extent->first <= row.last;
                        // Records are replaced whole: one that lies only partly in the range
                        // would keep bank bytes beside the bank or take bytes outside it along.
                        if (inRange ? extent->end > std::int64_t{row.last} + 1
                                    : extent->first < row.first && extent->end > row.first)
                            throw PassFailure{std::string(kRecordAcrossBankMessage)};
                        if (inRange) {
                            keep = false;
                            if (notInserted) {
                                flushRun();
                                out.Append(recordsRead);
                                for (std::size_t k = 0; k < kRecordCount; ++k) progress.Step();
                                written += static_cast<std::int64_t>(kRecordCount);
                                notInserted = false;
                            }
                        }
                    } else if (line.size() >= 2 && line[0] == 'S' && line[1] == '3') {
                        // 32-bit addresses are copied, but never into the bank's range.
                        const auto extent = RecordExtent<8>(line);
                        if (extent && extent->first <= row.last && extent->end > row.first)
                            throw PassFailure{std::string(kRecordAcrossBankMessage)};
                    } else if (line.size() >= 2 && line[0] == 'S' && line[1] >= '7' && line[1] <= '9') {
                        if (!insertedBeforeEnd) insertedBeforeEnd = !notInserted;
                        if (line[1] == '9')
                            result = *insertedBeforeEnd ? BankMergeResult::Spliced : BankMergeResult::NotFound;
                    }
                    if (keep) ++written;
                }
                if (!keep) continue;
                if (piece.crlf) {
                    if (runSize > 0 && run + runSize == piece.text.data()) {
                        runSize += piece.text.size() + 2;
                    } else {
                        flushRun();
                        run = piece.text.data();
                        runSize = piece.text.size() + 2;
                    }
                } else {
                    flushRun();
                    out.Append(piece.text);
                    if (piece.last) out.Append("\r\n");
                }
            }
            flushRun();
            if (result == BankMergeResult::Abandoned) throw PassFailure{std::string(kS9NotFoundMessage)};
            out.Flush();
            writer->Commit();
        } catch (const Error&) {
            throw PassFailure{std::string(kNewSxNotCreateMessage)};
        }
        if (options.linesWritten) *options.linesWritten = written;
    } catch (const PassFailure& failure) {
        messages.Show(failure.message);
        if (counted) progress.SetPosition(counter);
        return BankMergeResult::Abandoned;
    }
    progress.SetPosition(counter);
    return result;
}

// Removes the stage files when the run ends, however it ends; never the new
// image, whatever its name.
class StageFileCleanup {
public:
    explicit StageFileCleanup(const BankMergeInputs& inputs) : inputs_(inputs) {}
    ~StageFileCleanup() {
        std::error_code ec;
        for (const BankRange& row : kBankTable) {
            if (row.stageFile == inputs_.newFileName) continue;
            fs::remove(fs::path(inputs_.dirOut) / row.stageFile, ec);
        }
    }
    StageFileCleanup(const StageFileCleanup&) = delete;
    StageFileCleanup& operator=(const StageFileCleanup&) = delete;

private:
    const BankMergeInputs& inputs_;
};

}  // namespace

std::string BankFileNotFoundMessage(int bank) { return BankFileMessage(bank, "Not Found"); }
std::string BankFileNotReadMessage(int bank) { return BankFileMessage(bank, "Not Read"); }
std::string BankFileTooShortMessage(int bank) { return BankFileMessage(bank, "Too Short"); }

std::string ChecksumSx(std::string_view record) {
    unsigned sum = 0;
    for (std::size_t i = 2; i + 4 <= record.size(); i += 2) {
        const int high = HexValue(record[i]);
        const int low = HexValue(record[i + 1]);
        if (high < 0 || low < 0) throw std::invalid_argument("ChecksumSx: not a hexadecimal digit");
        sum += static_cast<unsigned>(high * 16 + low);
    }
    const unsigned checksum = 0xFF - (sum & 0xFF);
    return {kHexDigits[checksum >> 4], kHexDigits[checksum & 0xF]};
}

BankMergeResult MergeBankSx(const BankMergeInputs& run, int bank, const fs::path& input,
                            const std::string& outputName, MessageSink& messages, ProgressSink& progress) {
    return MergePass(run, bank, input, outputName, messages, progress, PassOptions{});
}

bool BankMergeRun::Complete(const std::array<bool, 5>& selection) const {
    if (stopped) return false;
    for (std::size_t i = 0; i < selection.size(); ++i)
        if (selection[i] && results[i] != BankMergeResult::Spliced) return false;
    return true;
}

// Every file of a run, the new image included, is written under a temporary
// name and renamed when complete, so a failed run never leaves a partial one.
// None is synced to disk: the image is made again before every flash, and a
// sync of its 40 MB would add about half again to the run on an ordinary disk.
BankMergeRun RunBankMerge(const BankMergeInputs& inputs, MessageSink& messages, ProgressSink& progress,
                          const std::function<void(int bank, BankMergeResult result)>& onStageEnd) {
    BankMergeRun run;
    StageFileCleanup cleanup(inputs);
    const fs::path dirOut(inputs.dirOut);
    fs::path image = inputs.baseFirmware;
    // Lines of `image` when a pass of this run wrote it.
    std::optional<std::int64_t> imageLines;

    for (const BankRange& row : kBankTable) {
        const std::size_t index = static_cast<std::size_t>(row.number - 1);
        const bool lastStage = row.number == 5;
        const std::string outputName = lastStage ? inputs.newFileName : row.stageFile;
        const fs::path output = dirOut / outputName;

        if (inputs.bankSelection[index]) {
            std::int64_t written = 0;
            const BankMergeResult result = MergePass(inputs, row.number, image, outputName, messages, progress,
                                                     PassOptions{imageLines, &written});
            run.results[index] = result;
            if (onStageEnd) onStageEnd(row.number, result);
            if (result == BankMergeResult::Abandoned) {
                run.stopped = true;
                return run;
            }
            imageLines = written;
        } else if (row.number == 1) {
            // Nothing to splice: the next stage reads a copy of the base image.
            if (!FileExists(image)) {
                messages.Show(std::string(kSxNotFoundMessage));
                run.stopped = true;
                return run;
            }
            std::error_code ec;
            fs::copy_file(image, output, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                messages.Show(std::string(kNewSxNotCreateMessage));
                run.stopped = true;
                return run;
            }
            imageLines.reset();
        } else {
            if (lastStage && inputs.newFileName.empty()) {
                messages.Show(std::string(kNewSxNameMissingMessage));
                run.stopped = true;
                return run;
            }
            // One step, so the output's name never points at a missing or partial file.
            if (::rename(image.c_str(), output.c_str()) != 0) {
                messages.Show(std::string(kNewSxNotCreateMessage));
                run.stopped = true;
                return run;
            }
        }
        image = output;
    }
    return run;
}

}  // namespace vestrel

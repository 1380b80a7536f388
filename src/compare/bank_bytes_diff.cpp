#include "compare/side_diffs.h"

#include "compiler/bank_layout.h"
#include "inspect/bank_decoder.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vestrel::compare {

namespace {

std::string Address(std::uint64_t address) { return PrefixedHex(address, 6); }

// Address ranges where two images' data differ: the first few of them and
// how many there are.
class Ranges {
public:
    static constexpr std::size_t kShown = 4;

    void Add(std::uint64_t from, std::uint64_t to) {
        if (open_ && to_ == from) {
            to_ = to;
            return;
        }
        Close();
        open_ = true;
        from_ = from;
        to_ = to;
    }
    void Close() {
        if (!open_) return;
        if (shown_.size() < kShown) shown_.emplace_back(from_, to_);
        ++count_;
        open_ = false;
    }
    std::string Text() const {
        std::vector<std::string> texts;
        for (const auto& [from, to] : shown_)
            texts.push_back(to - from == 1 ? Address(from) : Address(from) + "-" + Address(to - 1));
        if (count_ > shown_.size()) texts.push_back(Plural(count_ - shown_.size(), "more range", "more ranges"));
        return JoinedWithAnd(texts);
    }

private:
    bool open_ = false;
    std::uint64_t from_ = 0, to_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> shown_;
    std::size_t count_ = 0;
};

struct DataDifference {
    std::uint64_t differ = 0, onlyOld = 0, onlyNew = 0;
    Ranges ranges;
};

// Walks both images' runs in address order.
DataDifference CompareData(const ImageContents& a, const ImageContents& b) {
    DataDifference d;
    constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
    std::size_t i = 0, j = 0;
    std::uint64_t at = 0;
    while (i < a.runs.size() || j < b.runs.size()) {
        const ImageContents::Run* ra = i < a.runs.size() ? &a.runs[i] : nullptr;
        const ImageContents::Run* rb = j < b.runs.size() ? &b.runs[j] : nullptr;
        const std::uint64_t aFrom = ra ? std::max(at, ra->address) : kNone, aTo = ra ? ra->address + ra->length : kNone;
        const std::uint64_t bFrom = rb ? std::max(at, rb->address) : kNone, bTo = rb ? rb->address + rb->length : kNone;
        const std::uint64_t from = std::min(aFrom, bFrom);
        const bool inA = aFrom == from, inB = bFrom == from;
        const std::uint64_t to = inA && inB ? std::min(aTo, bTo) : inA ? std::min(aTo, bFrom) : std::min(bTo, aFrom);
        if (inA && inB) {
            const std::uint8_t* x = a.bytes.data() + ra->offset + (from - ra->address);
            const std::uint8_t* y = b.bytes.data() + rb->offset + (from - rb->address);
            const auto length = static_cast<std::size_t>(to - from);
            if (std::memcmp(x, y, length) != 0)
                for (std::size_t k = 0; k < length; ++k)
                    if (x[k] != y[k]) {
                        ++d.differ;
                        d.ranges.Add(from + k, from + k + 1);
                    }
        } else {
            (inA ? d.onlyOld : d.onlyNew) += to - from;
            d.ranges.Add(from, to);
        }
        at = to;
        if (ra && at >= aTo) ++i;
        if (rb && at >= bTo) ++j;
    }
    d.ranges.Close();
    return d;
}

std::string HeadersText(const std::vector<std::string>& headers) {
    if (headers.empty()) return "none";
    std::string text;
    for (const std::string& header : headers) text += (text.empty() ? "\"" : "; \"") + header + "\"";
    return text;
}

std::string EndText(const ImageContents& image) {
    return "S" + std::to_string(image.endType) + ", start address " + Address(image.startAddress);
}

const char* KindOf(const ComparedSide& side) {
    return side.kind == SideKind::Project ? "a project folder" : "a bank folder";
}

// Bytes that no field explains, as runs within one region of a bank.
struct Unexplained {
    int bank = 0;
    std::size_t from = 0, to = 0;
    std::string region;
};

constexpr std::size_t kUnexplainedShown = 8;

bool IsStamp(int bank, std::size_t offset) {
    return bank == 1 && offset >= layout::kDateStamp && offset < layout::kTimeStamp + 2;
}

std::string UnexplainedText(const Unexplained& u) {
    const std::size_t count = u.to - u.from;
    const std::string where = count == 1 ? "offset " + std::to_string(u.from)
                                         : "offsets " + std::to_string(u.from) + "-" + std::to_string(u.to - 1);
    return "bank " + std::to_string(u.bank) + " " + where + ": " + Plural(count, "byte", "bytes") + " " +
           (count == 1 ? "differs" : "differ") + " that no field explains (" + u.region + ")";
}

bool ExplainsBankBytes(const Change& c) {
    return c.reachesDevice && (c.topic == Topic::Setting || c.topic == Topic::Frame || c.topic == Topic::Register);
}

}  // namespace

void CompareOutsideBanks(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    if (!old.image || !now.image) {
        if (old.image || now.image)
            out.notes.push_back(std::string("what lies outside the banks is not compared: ") +
                                (old.image ? "new is " + std::string(KindOf(now)) : "old is " + std::string(KindOf(old))));
        return;
    }
    const ImageContents& a = *old.image;
    const ImageContents& b = *now.image;
    if (a.headers != b.headers)
        out.changes.push_back({Topic::BaseImage, "the base image's header record: " + HeadersText(a.headers) + " -> " +
                                                     HeadersText(b.headers)});
    const DataDifference d = CompareData(a, b);
    if (d.differ + d.onlyOld + d.onlyNew > 0) {
        std::vector<std::string> counts;
        if (d.differ > 0) counts.push_back(Plural(d.differ, "byte differs", "bytes differ"));
        if (d.onlyOld > 0) counts.push_back(Plural(d.onlyOld, "byte is", "bytes are") + " only in the old image");
        if (d.onlyNew > 0) counts.push_back(Plural(d.onlyNew, "byte is", "bytes are") + " only in the new image");
        out.changes.push_back({Topic::BaseImage, "the base image differs outside banks 1 and 2: " + JoinedWithAnd(counts) +
                                                     ", at " + d.ranges.Text()});
    }
    if (a.endType != b.endType || a.startAddress != b.startAddress)
        out.changes.push_back({Topic::BaseImage, "the base image's end record: " + EndText(a) + " -> " + EndText(b)});
}

void CompareBankBytes(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    const BankByteMask a = CompiledBytes(old.model->Banks());
    const BankByteMask b = CompiledBytes(now.model->Banks());
    std::vector<Unexplained> runs;
    std::size_t more = 0;
    std::optional<std::string> firstInField;
    for (int n = 1; n <= 2; ++n) {
        const auto x = old.banks->Bank(n);
        const auto y = now.banks->Bank(n);
        const auto& fieldOld = a[static_cast<std::size_t>(n - 1)];
        const auto& fieldNew = b[static_cast<std::size_t>(n - 1)];
        for (std::size_t o = 0; o < kBankSize; ++o) {
            if (x[o] == y[o] || IsStamp(n, o)) continue;
            if (fieldOld[o] || fieldNew[o]) {
                if (!firstInField)
                    firstInField = "bank " + std::to_string(n) + " offset " + std::to_string(o) + ": " +
                                   PrefixedHex(x[o], 2) + " -> " + PrefixedHex(y[o], 2);
                continue;
            }
            std::string region = UnwrittenRegion(now.model->Banks(), n, o);
            if (!runs.empty() && runs.back().bank == n && runs.back().to == o && runs.back().region == region) {
                ++runs.back().to;
            } else if (runs.size() < kUnexplainedShown) {
                runs.push_back(Unexplained{n, o, o + 1, std::move(region)});
            } else {
                ++more;
            }
        }
    }
    for (const Unexplained& u : runs) out.changes.push_back({Topic::BankBytes, UnexplainedText(u)});
    if (more > 0)
        out.changes.push_back({Topic::BankBytes, "and " + Plural(more, "byte", "bytes") + " more that no field explains"});
    // Every byte a field holds follows from the fields; should a difference
    // there have no line above, the byte itself is named.
    if (firstInField && std::none_of(out.changes.begin(), out.changes.end(), ExplainsBankBytes))
        out.changes.push_back({Topic::BankBytes, *firstInField + ", a field's byte that the lines above do not word"});
}

}  // namespace vestrel::compare

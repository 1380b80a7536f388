// The DBC reader and the codec against an independent reader: Debian's
// python3-canmatrix loads the same files (DBCs it writes from random message
// sets here, and the hand-written edge files of tests/data/signaldb), and
// every message and signal property, every raw value decoded from random
// frames and every frame encoded from random raw values must agree.
#include "signaldb/dbc_reader.h"
#include "signaldb/signal_codec.h"
#include "support/temp_dir.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string kPython = "/usr/bin/python3";
const std::string kOracle = VESTREL_SIGNALDB_TEST_DIR "/canmatrix_oracle.py";
const fs::path kData = VESTREL_TEST_DATA_DIR "/signaldb";

bool HaveCanmatrix() {
    static const bool have = std::system((kPython + " -c 'import canmatrix' >/dev/null 2>&1").c_str()) == 0;
    return have;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

std::string Unhex(const std::string& hex) {
    if (hex == "-") return {};
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) out += {kDigits[b >> 4], kDigits[b & 15]};
    return out;
}

double Number(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ",") + item;
    return out;
}

// Runs the oracle; the facts it wrote, one line each.
std::vector<std::string> RunOracle(const std::string& arguments, const fs::path& facts) {
    const fs::path log = facts.parent_path() / "oracle.log";
    const std::string command = kPython + " " + kOracle + " " + arguments + " >" + log.string() + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command << "\n" << ReadFile(log);
    std::vector<std::string> lines;
    std::stringstream in(ReadFile(facts));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The raw value behind the signal's bits, compared with canmatrix's text of it.
void ExpectRaw(const Signal& s, std::uint64_t bits, const std::string& expected, const std::string& where) {
    if (s.type == ValueType::Float32 || s.type == ValueType::Float64) {
        const double ours = RawNumber(s, bits), theirs = Number(expected);
        EXPECT_TRUE(ours == theirs || (std::isnan(ours) && std::isnan(theirs))) << where << ": " << ours;
    } else {
        EXPECT_EQ(RawText(s, bits), expected) << where;
    }
}

std::uint64_t BitsOfRawText(const Signal& s, const std::string& text) {
    if (s.type == ValueType::Float32 || s.type == ValueType::Float64) return BitsOfFloat(s, Number(text));
    if (text[0] == '-') return BitsOfInteger(s, std::stoll(text)).value();
    return BitsOfUnsigned(s, std::stoull(text)).value();
}

void ExpectSignal(const Signal& s, const std::vector<std::string>& f, const std::string& where) {
    EXPECT_EQ(s.name, Unhex(f[1])) << where;
    EXPECT_EQ(s.startBit, std::stoi(f[2])) << where;
    EXPECT_EQ(s.length, std::stoi(f[3])) << where;
    EXPECT_EQ(s.order == ByteOrder::Intel, f[4] == "1") << where;
    const int floatBits = std::stoi(f[6]);
    EXPECT_EQ(s.type, floatBits == 32   ? ValueType::Float32
                      : floatBits == 64 ? ValueType::Float64
                      : f[5] == "1"     ? ValueType::Signed
                                        : ValueType::Unsigned)
        << where;
    EXPECT_EQ(s.factor, Number(f[7])) << where;
    EXPECT_EQ(s.offset, Number(f[8])) << where;
    EXPECT_EQ(s.minimum, Number(f[9])) << where;
    EXPECT_EQ(s.maximum, Number(f[10])) << where;
    EXPECT_EQ(s.unit, Unhex(f[11])) << where;
    EXPECT_EQ(Join(s.receivers), Unhex(f[12])) << where;
    const std::string mux = s.mux == Multiplexing::None          ? "-"
                            : s.mux == Multiplexing::Multiplexor ? "M"
                                                                 : std::to_string(s.muxValue);
    EXPECT_EQ(mux, f[13]) << where;
    EXPECT_EQ(s.comment, Unhex(f[14])) << where;
}

// Walks the facts beside the database, message by message.
void ExpectAgreement(const Database& db, const std::vector<std::string>& facts, const std::string& file) {
    std::size_t m = 0, s = 0, values = 0, frames = 0;
    const Message* message = nullptr;
    for (const std::string& line : facts) {
        const auto f = Split(line);
        const std::string where = file + " " + line.substr(0, 80);
        if (f[0] == "M") {
            ASSERT_LT(m, db.messages.size()) << where;
            message = &db.messages[m++];
            s = 0;
            EXPECT_EQ(message->id, std::stoul(f[1])) << where;
            EXPECT_EQ(message->extended, f[2] == "1") << where;
            EXPECT_EQ(message->length, std::stoi(f[3])) << where;
            EXPECT_EQ(message->name, Unhex(f[4])) << where;
            EXPECT_EQ(message->cycleTimeMs.value_or(0), std::stoi(f[5])) << where;
            EXPECT_EQ(Join(message->transmitters), Unhex(f[6])) << where;
            EXPECT_EQ(message->comment, Unhex(f[7])) << where;
            EXPECT_EQ(message->canFd, f[8] == "1") << where;
            EXPECT_EQ(message->problem, "") << where;
        } else if (f[0] == "S") {
            ASSERT_TRUE(message && s < message->signalList.size()) << where;
            ExpectSignal(message->signalList[s++], f, where);
            values = 0;
        } else if (f[0] == "V") {
            const Signal& sig = message->signalList[s - 1];
            ASSERT_LT(values, sig.values.size()) << where;
            EXPECT_EQ(sig.values[values].value, std::stoll(f[1])) << where;
            EXPECT_EQ(sig.values[values++].text, Unhex(f[2])) << where;
        } else if (f[0] == "D") {
            const auto data = Bytes(f[1]);
            ASSERT_EQ(f.size(), 2 + message->signalList.size()) << where;
            for (std::size_t i = 0; i < message->signalList.size(); ++i) {
                const Signal& sig = message->signalList[i];
                EXPECT_EQ(FitsIn(sig, message->length), f[2 + i] != "x") << where << " " << sig.name;
                if (f[2 + i] != "x") ExpectRaw(sig, ExtractBits(sig, data), f[2 + i], where + " " + sig.name);
            }
            ++frames;
        } else if (f[0] == "E") {
            std::vector<std::uint8_t> data(static_cast<std::size_t>(message->length));
            for (std::size_t i = 0; i < message->signalList.size(); ++i)
                InsertBits(message->signalList[i], BitsOfRawText(message->signalList[i], f[2 + i]), data);
            EXPECT_EQ(Hex(data), f[1]) << where;
            ++frames;
        }
    }
    EXPECT_EQ(m, db.messages.size()) << file;
    EXPECT_GT(frames, 0u) << file;
}

TEST(CanmatrixOracle, RandomDatabasesReadDecodeAndEncodeAlike) {
    if (!HaveCanmatrix()) GTEST_SKIP() << "python3-canmatrix is not installed for " << kPython;
    TempDir dir;
    for (int seed = 1; seed <= 8; ++seed) {
        const std::string encoding = seed % 2 ? "cp1252" : "utf-8";
        const fs::path dbc = dir / ("random" + std::to_string(seed) + ".dbc"), facts = dir / "facts";
        const auto lines = RunOracle("random " + std::to_string(seed) + " 40 " + encoding + " " + dbc.string() + " " +
                                         facts.string(),
                                     facts);
        const Database db = ReadDbc(ReadFile(dbc), dbc.string());
        EXPECT_EQ(db.messages.size(), 40u);
        ExpectAgreement(db, lines, dbc.string());
    }
}

TEST(CanmatrixOracle, HandWrittenEdgeFilesReadDecodeAndEncodeAlike) {
    if (!HaveCanmatrix()) GTEST_SKIP() << "python3-canmatrix is not installed for " << kPython;
    const struct {
        const char* file;
        const char* encoding;
    } kFiles[] = {
        {"every_start_bit.dbc", "cp1252"},
        {"edge_cases_cp1252.dbc", "cp1252"},
        {"units_utf8.dbc", "utf-8"},
        {"vector_forms.dbc", "cp1252"},
        {"../../../examples/demo-drive.dbc", "cp1252"},
    };
    TempDir dir;
    for (const auto& c : kFiles) {
        const fs::path path = kData / c.file;
        const auto lines = RunOracle(std::string("describe ") + path.string() + " " + c.encoding + " 7 " +
                                         (dir / "facts").string(),
                                     dir / "facts");
        ExpectAgreement(ReadDbc(ReadFile(path), path.string()), lines, c.file);
    }
}

}  // namespace
}  // namespace vestrel::signaldb

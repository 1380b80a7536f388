#include "inspect/project_check.h"

#include "compiler/bank_builder.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/printable_text.h"
#include "platform/text.h"
#include "project/comm_parameters.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/project_document.h"
#include "project/integer_text.h"
#include "project/pos_comp.h"
#include "project/project_files.h"
#include "project/project_xml.h"
#include "project/register_directions.h"
#include "signaldb/signal_file_check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vestrel {

namespace {

namespace fs = std::filesystem;

// The compiler's texts for a row attribute it cannot read.

// Problems are sorted by file in this order, then by row.
enum FileRank { kPargen, kReceiveFrames, kTransmitFrames, kReceiveMappings, kTransmitMappings, kNoFile };

struct Ranked {
    FileRank rank;
    Problem problem;
};

class Report {
public:
    void Add(Severity severity, FileRank rank, std::string file, int row, std::string field, std::string message) {
        items_.push_back(Ranked{rank, Problem{severity, std::move(file), row, std::move(field), std::move(message)}});
    }
    void Error(FileRank rank, const std::string& file, int row, std::string field, std::string message) {
        Add(Severity::Error, rank, file, row, std::move(field), std::move(message));
    }
    void Warn(FileRank rank, const std::string& file, int row, std::string message) {
        Add(Severity::Warning, rank, file, row, {}, std::move(message));
    }
    std::vector<Problem> Sorted() {
        std::stable_sort(items_.begin(), items_.end(), [](const Ranked& a, const Ranked& b) {
            if (a.problem.severity != b.problem.severity) return a.problem.severity == Severity::Error;
            if (a.rank != b.rank) return a.rank < b.rank;
            return a.problem.row < b.problem.row;
        });
        std::vector<Problem> result;
        result.reserve(items_.size());
        for (Ranked& r : items_) result.push_back(std::move(r.problem));
        return result;
    }

private:
    std::vector<Ranked> items_;
};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}


// "Index 70000 is above 65535: only its low 16 bits (4464) reach the device",
// or nothing when the value fits a field of `bits` bits.
std::optional<std::string> WidthWarning(const std::string& name, const std::string& text, std::int32_t value,
                                        int bits) {
    const std::int64_t max = (std::int64_t{1} << bits) - 1;
    if (value >= 0 && value <= max) return std::nullopt;
    const auto low = static_cast<std::uint32_t>(value) & static_cast<std::uint32_t>(max);
    std::string what = value < 0 ? " is below 0" : " is above " + std::to_string(max);
    std::string kept = bits == 8 ? "only its low byte (" + std::to_string(low) + ") reaches the device"
                                 : "only its low " + std::to_string(bits) + " bits (" + std::to_string(low) +
                                       ") reach the device";
    return name + " " + text + what + ": " + kept;
}

// One value of a file: absent, present but not integer text, or a number.
struct Value {
    std::optional<std::string> text;
    std::optional<std::int32_t> number;
};

Value MakeValue(std::optional<std::string> text) {
    Value v;
    if (text) v.number = ParseIntegerText(*text);
    v.text = std::move(text);
    return v;
}

// A row-table file as the compiler reads it, each asked-for attribute of
// each row converted where it is integer text. The compiler reports what is
// absent or unconvertible; the check only warns about what converts.
struct TableFile {
    std::string fileName;  // as found on disk, or the usual name when absent
    bool present = false;
    bool readable = false;  // present and well-formed
    int count = 0;
    std::vector<std::vector<Value>> rows;
};

TableFile Table(const TableRows& raw) {
    TableFile table;
    table.fileName = raw.fileName;
    table.present = raw.status != ProjectDocument::Status::Absent;
    table.readable = raw.Loaded();
    table.count = static_cast<int>(raw.rows.size());
    for (const auto& row : raw.rows) {
        auto& values = table.rows.emplace_back();
        for (const auto& text : row) values.push_back(MakeValue(text));
    }
    return table;
}

// A value the compiler requires: it converts, or the compiler has said why not.
bool Converts(const Value& value) { return value.number.has_value(); }

// Where a problem of the file named `file` (as found on disk) is sorted.
FileRank RankOf(std::string_view file) {
    const std::pair<std::string_view, FileRank> files[] = {
        {kPargenFile, kPargen},
        {kReceiveFramesFile, kReceiveFrames},
        {kTransmitFramesFile, kTransmitFrames},
        {kReceiveMappingsFile, kReceiveMappings},
        {kTransmitMappingsFile, kTransmitMappings},
    };
    for (const auto& [name, rank] : files)
        if (EqualNoCase(file, name)) return rank;
    return kNoFile;
}

// On a case-sensitive disk a folder can hold pargen.xml and Pargen.xml side
// by side; the compiler asks for "Pargen.xml" and the settings dialog for
// "pargen.xml", so each would work on a different file.
void CheckNameClashes(const fs::path& dir, Report& report) {
    const std::pair<std::string_view, FileRank> files[] = {
        {"Pargen.xml", kPargen},
        {kReceiveFramesFile, kReceiveFrames},
        {kTransmitFramesFile, kTransmitFrames},
        {kReceiveMappingsFile, kReceiveMappings},
        {kTransmitMappingsFile, kTransmitMappings},
    };
    for (const auto& [name, rank] : files) {
        auto compiled = FindProjectFile(dir, name);
        if (!compiled) continue;
        std::string others;
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
            const std::string candidate = entry.path().filename().string();
            // Two names of one file are no twins: a hard link, or a file
            // system that ignores letter case (FAT), where both names lead
            // to the file the compile reads.
            if (candidate != compiled->filename().string() && EqualNoCase(candidate, name) &&
                entry.is_regular_file(ec) && !fs::equivalent(entry.path(), *compiled, ec))
                others += (others.empty() ? "" : ", ") + candidate;
        }
        if (!others.empty())
            report.Warn(rank, compiled->filename().string(), 0,
                        "the compile reads this file, but " + others +
                            " differs from it only in letter case and may be the one an editor shows");
    }
}

// ---- pargen.xml ----------------------------------------------------------

struct SettingRule {
    const char* name;
    bool required;              // a failure stops the compile
    std::int32_t fallback;      // what the compile stores instead, for the others
    int listLast;               // a list index from 0 to listLast; -1 when not a list
    const char* listName;
    int bits;                   // the field width, 0 when a list or a flag
    bool flag;                  // 0 or 1
};

constexpr SettingRule kSettingRules[] = {
    {"BaudRateCAN", true, 0, 8, "CAN bit rates", 0, false},
    {"Baud_Ser", true, 0, 7, "serial bit rates", 0, false},
    {"Par_Ser", true, 0, 2, "parities", 0, false},
    {"IDDev_Ser", true, 0, -1, nullptr, 8, false},
    {"TimeOut_Ser", true, 0, -1, nullptr, 16, false},
    {"TimeOut_Data", false, 0, -1, nullptr, 8, false},
    {"TO_ModReg", false, 1, -1, nullptr, 8, false},
    {"Serial", false, 1, -1, nullptr, 0, true},
    {"Cancel_Data", false, 0, -1, nullptr, 0, true},
    {"Can_Data_Inp_Reg", false, 0, -1, nullptr, 0, true},
};

// Reads pargen.xml and reports on it. Returns the CAN mode of the compile, or
// nothing when a compile could not get that far.
std::optional<CanMode> CheckSettings(const fs::path& dir, BanksBefore before, Report& report) {
    // The compiler asks for "Pargen.xml"; letter case does not matter, but an
    // exact match would win.
    const SettingTexts texts = ReadCommParameterTexts(dir, "Pargen.xml");
    if (texts.status == ProjectDocument::Status::Absent) {
        report.Warn(kPargen, std::string(kPargenFile), 0,
                    before == BanksBefore::Zero
                        ? "the file does not exist: the banks get an all-zero parameter block (no CAN bit rate, "
                          "serial settings or device address, and frame and mapping counts of 0), so the device "
                          "handles no frames"
                        : "the file does not exist: the compile leaves the communication settings and the frame and "
                          "mapping counts of the banks as they were");
        return CanMode::Can20A;
    }
    if (!texts.Loaded()) return std::nullopt;
    const std::string& file = texts.fileName;
    auto setting = [&](const char* name) {
        for (std::size_t i = 0; i < kCommParameterElements.size(); ++i)
            if (std::string_view(kCommParameterElements[i].name) == name) return MakeValue(texts.values[i]);
        return Value{};
    };

    std::optional<CanMode> mode;
    const Value canType = setting("CANType");
    if (Converts(canType)) {
        // A value whose number and low byte disagree stops the compile.
        mode = CanModeOfCanType(*canType.number);
    }

    for (const SettingRule& rule : kSettingRules) {
        const Value value = setting(rule.name);
        const std::string name = rule.name;
        if (rule.required) {
            if (!Converts(value)) continue;  // the compiler stops on it
        } else {
            if (!value.text) continue;  // absent: the compile's default is meant
            if (!value.number) {
                report.Warn(kPargen, file, 0,
                            name + " '" + *value.text + "' is not integer text: the compile uses " +
                                std::to_string(rule.fallback));
                continue;
            }
        }
        const std::int32_t v = *value.number;
        if (rule.listLast >= 0 && (v < 0 || v > rule.listLast)) {
            report.Warn(kPargen, file, 0,
                        name + " " + *value.text + " is outside 0 to " + std::to_string(rule.listLast) +
                            ", the list of " + rule.listName);
        } else if (rule.flag && v != 0 && v != 1) {
            report.Warn(kPargen, file, 0,
                        name + " " + *value.text + " is neither 0 nor 1" +
                            (name == "Serial" ? " (0 RS232, 1 RS485)" : ""));
        } else if (rule.bits > 0) {
            if (auto w = WidthWarning(name, *value.text, v, rule.bits)) report.Warn(kPargen, file, 0, *w);
        }
    }
    return mode;
}

// ---- frame files ---------------------------------------------------------

struct FrameInfo {
    std::optional<std::int32_t> length;  // Dimensin, when it converts
    std::optional<std::int32_t> cobId;   // when it converts
    bool remote = false;
};

struct Frames {
    bool known = false;  // false when the file could not be read: its rows are unknown
    bool present = false;
    std::string fileName;
    std::vector<FrameInfo> frames;
};

Frames CheckFrames(const fs::path& dir, FrameDirection direction, std::optional<CanMode> mode, Report& report) {
    const bool receive = direction == FrameDirection::Receive;
    const FileRank rank = receive ? kReceiveFrames : kTransmitFrames;
    TableFile table = Table(ReadFrameRows(dir, direction));
    Frames result;
    result.fileName = table.fileName;
    result.present = table.present;
    result.known = !table.present || table.readable;
    if (!table.readable) return result;
    const std::string& file = table.fileName;


    // Receive COB-IDs that a compile lays into the banks, by value, in row order.
    std::map<std::int32_t, std::vector<int>> rowsByCobId;
    for (int i = 0; i < table.count; ++i) {
        const int row = i + 1;
        const auto& values = table.rows[static_cast<std::size_t>(i)];
        const Value& cobId = values[kCobIdColumn];
        const Value& length = values[kDimensinColumn];
        FrameInfo& info = result.frames.emplace_back();

        if (Converts(cobId)) {
            info.cobId = cobId.number;
            const std::int32_t v = *cobId.number;
            const std::string& text = *cobId.text;
            if (mode == CanMode::Can20A && !CobIdFits(v, CanMode::Can20A)) {
                // A receive COB-ID out of range stops the compile.
                if (!receive)
                    report.Warn(rank, file, row,
                                "CobID " + text + " is outside 0 to 2047, the range of CAN 2.0A: only its low 16 "
                                "bits (" + PrefixedHex(static_cast<std::uint32_t>(v) & 0xFFFF) + ") reach the device");
            } else if (mode == CanMode::Can20B && !CobIdFits(v, CanMode::Can20B)) {
                report.Warn(rank, file, row, "CobID " + text + " is outside 0 to 536870911, the range of CAN 2.0B");
            }
            const bool laid = mode != CanMode::Can20A || CobIdFits(v, CanMode::Can20A);
            if (receive && laid) rowsByCobId[v].push_back(row);
        }
        if (Converts(length)) {
            const std::int32_t v = *length.number;
            info.length = v;
            if (v < 1 || v > 8) {
                // A transmit frame keeps bits 0-3 in its control byte, a receive frame the low byte.
                const std::int32_t stored = receive ? (v & 0xFF) : (v & 0x0F);
                report.Warn(rank, file, row,
                            "Dimensin " + *length.text + " is outside 1 to 8" +
                                (stored != v ? "; the device gets " + std::to_string(stored) : std::string()));
            }
        }
        const Value& rtrValue = values[kRtrColumn];
        if (!receive && rtrValue.text) {
            const std::string rtr = Upper(*rtrValue.text);
            info.remote = rtr == "Y";
            if (rtr != "Y" && rtr != "N" && !rtr.empty())
                report.Warn(rank, file, row,
                            "RTR \"" + *rtrValue.text + "\" is neither Y nor N: the frame is compiled as a data frame");
        }
    }

    for (const auto& [value, rows] : rowsByCobId) {
        if (rows.size() < 2) continue;
        const int last = rows.back();
        for (std::size_t k = 0; k + 1 < rows.size(); ++k) {
            const int row = rows[k];
            const std::string& text = *table.rows[static_cast<std::size_t>(row - 1)][0].text;
            std::string message = "CobID " + text + " is also used by row " + std::to_string(last);
            if (mode == CanMode::Can20A)
                message += "; in CAN 2.0A only row " + std::to_string(last) + " is reachable through the lookup table";
            report.Warn(rank, file, row, message);
        }
    }
    return result;
}

// ---- mapping files -------------------------------------------------------

// The first row of each register a mapping file names: its row and NrPdo.
struct RegisterRows {
    std::string fileName;
    std::map<std::uint16_t, std::pair<int, std::optional<std::int32_t>>> first;
};

RegisterRows CheckMappings(const fs::path& dir, FrameDirection direction, const Frames& frames, Report& report) {
    const bool receive = direction == FrameDirection::Receive;
    const FileRank rank = receive ? kReceiveMappings : kTransmitMappings;
    TableFile table = Table(ReadMappingRows(dir, direction));
    RegisterRows registers{table.fileName, {}};
    if (!table.readable) return registers;
    const std::string& file = table.fileName;

    const int frameCount = static_cast<int>(frames.frames.size());
    std::map<std::uint16_t, std::pair<int, std::int32_t>> firstByRegister;  // register -> (row, full value)
    for (int i = 0; i < table.count; ++i) {
        const int row = i + 1;
        const auto& values = table.rows[static_cast<std::size_t>(i)];
        const Value& index = values[kIndexColumn];
        const Value& nrPdo = values[kNrPdoColumn];
        const Value& posComp = values[kPosCompColumn];
        const bool indexOk = Converts(index);
        const bool nrPdoOk = Converts(nrPdo);
        const bool posCompOk = Converts(posComp);

        if (indexOk) {
            const std::int32_t v = *index.number;
            if (auto w = WidthWarning("Index", *index.text, v, 16)) report.Warn(rank, file, row, *w);
            const auto reg = static_cast<std::uint16_t>(v);
            registers.first.try_emplace(reg, row, nrPdoOk ? nrPdo.number : std::nullopt);
            auto [it, inserted] = firstByRegister.try_emplace(reg, row, v);
            if (!inserted) {
                const auto& [firstRow, firstValue] = it->second;
                if (firstValue == v)
                    report.Warn(rank, file, row,
                                "register " + *index.text + " is also mapped in row " + std::to_string(firstRow));
                else
                    report.Warn(rank, file, row,
                                "Index " + *index.text + " reaches the device as register " + std::to_string(reg) +
                                    ", the same as row " + std::to_string(firstRow));
            }
        }
        if (posCompOk) {
            if (auto w = WidthWarning("PosComp", *posComp.text, *posComp.number, 8)) report.Warn(rank, file, row, *w);
        }
        if (!nrPdoOk) continue;
        const std::int32_t n = *nrPdo.number;
        if (auto w = WidthWarning("NrPdo", *nrPdo.text, n, 8)) report.Warn(rank, file, row, *w);
        if (!frames.known) continue;
        if (n < 1 || n > frameCount) {
            std::string why = n < 1                 ? "frames are numbered from 1"
                              : !frames.present ? "there is no " + frames.fileName
                                  : frames.fileName + " has " + Plural(frameCount, "frame", "frames");
            report.Warn(rank, file, row, "NrPdo " + *nrPdo.text + " names no frame: " + why);
            continue;
        }
        const FrameInfo& frame = frames.frames[static_cast<std::size_t>(n - 1)];
        if (!receive && frame.remote)
            report.Warn(rank, file, row,
                        "NrPdo " + *nrPdo.text + " names a remote frame (RTR Y), which carries no data");
        if (posCompOk && frame.length && *frame.length >= 1 && *frame.length <= 8) {
            const auto code = static_cast<std::uint32_t>(*posComp.number);
            const std::pair<int, const char*> halves[] = {{PosCompHigh(code), "high"}, {PosCompLow(code), "low"}};
            for (const auto& [byte, half] : halves) {
                if (byte != kNoDataByte && DataByteWithin(byte, *frame.length) < 0)
                    report.Warn(rank, file, row,
                                "PosComp " + *posComp.text + ": the " + half + " byte goes to B" +
                                    std::to_string(byte) + ", beyond Dimensin " + std::to_string(*frame.length) +
                                    " of frame " + std::to_string(n));
            }
        }
    }
    return registers;
}

// "frame 0x181", "frame 2" where its COB-ID is no number, "no frame" where NrPdo names none.
std::string MappedFrameText(const Frames& frames, const std::optional<std::int32_t>& nrPdo) {
    if (!nrPdo || *nrPdo < 1 || *nrPdo > static_cast<std::int32_t>(frames.frames.size())) return "no frame";
    const FrameInfo& f = frames.frames[static_cast<std::size_t>(*nrPdo - 1)];
    return f.cobId ? "frame 0x" + UpperHex(static_cast<std::uint32_t>(*f.cobId)) : "frame " + std::to_string(*nrPdo);
}

// A register number in both directions: the master reads and writes one address.
void CheckSharedRegisters(const RegisterRows& receive, const RegisterRows& transmit, const Frames& receiveFrames,
                          const Frames& transmitFrames, Report& report) {
    for (const auto& [reg, where] : transmit.first) {
        const auto read = receive.first.find(reg);
        if (read == receive.first.end()) continue;
        report.Warn(kTransmitMappings, transmit.fileName, where.first,
                    "register " + std::to_string(reg) + " (" + MappedFrameText(transmitFrames, where.second) +
                        ") is also a receive register (" + MappedFrameText(receiveFrames, read->second.second) +
                        ", row " + std::to_string(read->second.first) + " of " + receive.fileName +
                        "): " + std::string(kSharedAddressNote));
    }
}

}  // namespace

std::vector<Problem> CheckProject(const fs::path& projectDir, BanksBefore before) {
    return CheckAndCompileProject(projectDir, before).problems;
}

CheckedProject CheckAndCompileProject(const fs::path& projectDir, BanksBefore before) {
    Report report;
    if (!DirectoryExists(projectDir)) {
        const std::string missing = "Project folder \"" + projectDir.string() + "\" not found";
        report.Error(kNoFile, {}, 0, {}, missing);
        return {report.Sorted(), Failure{missing}};
    }
    CheckNameClashes(projectDir, report);
    const std::optional<CanMode> mode = CheckSettings(projectDir, before, report);
    const Frames receive = CheckFrames(projectDir, FrameDirection::Receive, mode, report);
    const Frames transmit = CheckFrames(projectDir, FrameDirection::Transmit, mode, report);
    const RegisterRows read = CheckMappings(projectDir, FrameDirection::Receive, receive, report);
    const RegisterRows written = CheckMappings(projectDir, FrameDirection::Transmit, transmit, report);
    CheckSharedRegisters(read, written, receive, transmit, report);
    signaldb::SignalFileWarnings signalFile = signaldb::CheckSignalFile(projectDir);
    for (std::string& text : signalFile.texts) report.Warn(kNoFile, signalFile.fileName, 0, std::move(text));

    // The errors are the compiler's own: everything that would stop a
    // compile, each noted where it stands, and nothing else.
    auto compiler = std::make_shared<BankCompiler>();
    std::vector<CompileError> errors;
    std::optional<std::string> stopped;
    try {
        compiler->BuildBankImages(projectDir, LocalDateTime{}, &errors);
    } catch (const std::exception& e) {
        report.Error(kNoFile, {}, 0, {}, e.what());
        stopped = e.what();
    }
    for (const CompileError& e : errors) report.Error(RankOf(e.File()), e.File(), e.Row(), e.Field(), e.Text());
    CheckedProject checked{report.Sorted()};
    if (!errors.empty())
        checked.compiled = Failure{errors.front().what()};
    else if (stopped)
        checked.compiled = Failure{*stopped};
    else
        checked.compiled = std::shared_ptr<const BankCompiler>(std::move(compiler));
    return checked;
}

bool HasErrors(const std::vector<Problem>& problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const Problem& p) { return p.severity == Severity::Error; });
}

std::string FormatProblem(const Problem& problem) {
    const char* label = problem.severity == Severity::Error ? "error: " : "warning: ";
    return label + PrintableText(LocatedText(problem.file, problem.row, problem.field, problem.message),
                                 LineBreaks::OneLine);
}

}  // namespace vestrel

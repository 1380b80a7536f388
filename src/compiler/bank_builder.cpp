#include "compiler/bank_builder.h"

#include "compiler/bank_layout.h"

#include "platform/error.h"
#include "project/comm_parameters.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vestrel {

namespace {

using namespace layout;

using Bank = std::span<std::uint8_t, kBankSize>;

// Little-endian store of the low `width` bytes of `value`.
void Put(Bank bank, std::size_t offset, std::size_t width, std::uint32_t value) {
    if (offset > kBankSize || width > kBankSize - offset)
        throw std::logic_error("A bank write at offset " + std::to_string(offset) + " would leave the bank");
    for (std::size_t i = 0; i < width; ++i) bank[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put8(Bank bank, std::size_t offset, std::int32_t value) { Put(bank, offset, 1, static_cast<std::uint32_t>(value)); }
void Put16(Bank bank, std::size_t offset, std::int32_t value) { Put(bank, offset, 2, static_cast<std::uint32_t>(value)); }
void Put32(Bank bank, std::size_t offset, std::int32_t value) { Put(bank, offset, 4, static_cast<std::uint32_t>(value)); }

// Where the compile's errors go: the first one ends the compile, or, for the
// project check, each is noted and the compile goes on as far as it can.
class Stops {
public:
    explicit Stops(std::vector<CompileError>* noted) : noted_(noted) {}

    // Ends the compile with `error`, or notes it and returns.
    void Stop(CompileError error) {
        if (!noted_) throw error;
        noted_->push_back(std::move(error));
    }
    bool Noting() const { return noted_ != nullptr; }

private:
    std::vector<CompileError>* noted_;
};

// An integer the compile needs: the text converted strictly. Nothing when it
// is absent or no integer text, the error noted (or thrown).
std::optional<std::int32_t> Required(const std::optional<std::string>& text, const std::string& file, int row,
                                     const char* field, Stops& stops) {
    if (!text) {
        stops.Stop(CompileError(file, row, field, kMissingIntegerAttributeMessage));
        return std::nullopt;
    }
    if (auto value = ParseIntegerText(*text)) return static_cast<std::int32_t>(*value);
    stops.Stop(CompileError(file, row, field, InvalidIntegerMessage(*text)));
    return std::nullopt;
}

// A file that is there but cannot be read stops the compile with its reason.
bool Opened(const TableRows& file, Stops& stops) {
    if (file.status == ProjectDocument::Status::Unreadable) stops.Stop(CompileError(file.fileName, 0, {}, file.error));
    return file.Loaded();
}

// pargen.xml, read as the compiler asks for it ("Pargen.xml"), each element
// found among the children of the document element whatever its name.
class Settings {
public:
    Settings(const std::filesystem::path& projectDir, Stops& stops)
        : texts_(ReadCommParameterTexts(projectDir, "Pargen.xml")), stops_(stops) {
        if (texts_.status == ProjectDocument::Status::Unreadable)
            stops_.Stop(CompileError(texts_.fileName, 0, {}, texts_.error));
    }

    bool Present() const { return texts_.Loaded(); }

    // A setting that must be there and hold integer text.
    std::optional<std::int32_t> Required(const char* name) const {
        const auto& text = Text(name);
        if (!text) {
            stops_.Stop(CompileError(texts_.fileName, 0, {}, MissingElementMessage(name)));
            return std::nullopt;
        }
        return vestrel::Required(text, texts_.fileName, 0, name, stops_);
    }

    // Stops the compile on a setting whose value is refused.
    void Refuse(const char* name, const std::string& why) const {
        stops_.Stop(CompileError(texts_.fileName, 0, name, why));
    }

    // A setting with a default for every failure: absent or not integer text.
    std::int32_t Optional(const char* name, std::int32_t fallback) const {
        const auto& text = Text(name);
        return text ? ParseIntegerText(*text, fallback) : fallback;
    }

private:
    const std::optional<std::string>& Text(std::string_view name) const {
        for (std::size_t i = 0; i < kCommParameterElements.size(); ++i)
            if (kCommParameterElements[i].name == name) return texts_.values[i];
        throw std::logic_error("pargen.xml has no setting " + std::string(name));
    }

    SettingTexts texts_;
    Stops& stops_;
};

struct Frame {
    std::int32_t cobId = 0;
    std::int32_t length = 0;
    bool remote = false;
};

// The frames of a frame file in document order, up to the first row that
// cannot be converted. Its error is kept so that the caller can first lay the
// frames before it into the banks, as a compile that stops at that row leaves
// them, and then report it. A receive COB-ID that CAN 2.0A cannot address
// stops the compile at once, before any record of the file is written.
struct FrameRows {
    std::vector<Frame> frames;
    bool layable = true;  // false when the table is beyond the layout's capacity or its mode is unknown
    std::optional<CompileError> stoppedBy;
};

bool IsRemote(const std::optional<std::string>& text) {
    std::string rtr = text.value_or("");
    std::transform(rtr.begin(), rtr.end(), rtr.begin(), [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
    return rtr == "Y";
}

FrameRows ReadFrames(const FrameFileRows& file, FrameDirection direction, std::optional<CanMode> mode,
                     Stops& stops) {
    FrameRows result;
    const int count = static_cast<int>(file.rows.size());
    if (count > kMaxFrames) {
        stops.Stop(CompileError(file.fileName, 0, {}, TooManyRowsMessage("frames", count, kMaxFrames)));
        result.layable = false;
    }
    result.layable = result.layable && mode.has_value();
    result.frames.reserve(file.rows.size());
    for (int i = 0; i < count; ++i) {
        const auto& row = file.rows[static_cast<std::size_t>(i)];
        // Noted in the order the check lists them: the COB-ID, its range, the length.
        std::vector<CompileError> rowErrors;
        Stops rowStops(&rowErrors);
        const auto cobId = Required(row[kCobIdColumn], file.fileName, i + 1, "CobID", rowStops);
        const std::size_t cobIdErrors = rowErrors.size();
        const auto length = Required(row[kDimensinColumn], file.fileName, i + 1, "Dimensin", rowStops);
        const bool converted = cobId && length;
        if (!stops.Noting() && !converted) {
            result.stoppedBy = rowErrors.front();
            break;
        }
        if (direction == FrameDirection::Receive && mode == CanMode::Can20A && cobId &&
            (*cobId < 0 || static_cast<std::size_t>(*cobId) >= kLookupEntries)) {
            rowErrors.insert(rowErrors.begin() + static_cast<std::ptrdiff_t>(cobIdErrors),
                             CompileError(file.fileName, i + 1, {}, CobIdOutside20AMessage(*row[kCobIdColumn])));
            if (!stops.Noting()) stops.Stop(rowErrors.front());
        }
        for (CompileError& error : rowErrors) stops.Stop(std::move(error));
        if (!converted) continue;
        Frame frame{*cobId, *length, false};
        if (direction == FrameDirection::Transmit) frame.remote = IsRemote(row[kRtrColumn]);
        result.frames.push_back(frame);
    }
    return result;
}

void LayReceiveFrames(BankImages& banks, CanMode mode, const std::vector<Frame>& frames) {
    Bank bank1 = banks.Bank(1);
    Bank bank2 = banks.Bank(2);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        const auto position = static_cast<std::int32_t>(i);
        if (mode == CanMode::Can20A) {
            if (f.cobId < 0 || static_cast<std::size_t>(f.cobId) >= kLookupEntries) continue;  // noted already
            const auto cobId = static_cast<std::size_t>(f.cobId);
            Put16(bank1, kLookupOffset + 2 * cobId, position);
            bank1[kBitmapOffset + cobId / 8] |= static_cast<std::uint8_t>(1u << (cobId % 8));
            const std::size_t at = kReceive20AOffset + kReceive20ASize * i;
            Put16(bank2, at, f.cobId);
            Put8(bank2, at + 2, f.length);
        } else {
            const std::size_t at = kReceive20BOffset + kReceive20BSize * i;
            Put32(bank1, at, f.cobId);
            Put8(bank1, at + 4, f.length);
            Put8(bank1, at + 5, position);
        }
    }
}

void LayTransmitFrames(BankImages& banks, CanMode mode, const std::vector<Frame>& frames) {
    Bank bank2 = banks.Bank(2);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        // Bits 0-3 the length, bit 4 the remote flag.
        const std::int32_t control = (f.length & 0x0F) + (f.remote ? 16 : 0);
        if (mode == CanMode::Can20A) {
            const std::size_t at = kTransmit20AOffset + kTransmit20ASize * i;
            Put16(bank2, at, f.cobId);
            Put8(bank2, at + 2, control);
        } else {
            const std::size_t at = kTransmit20BOffset + kTransmit20BSize * i;
            Put32(bank2, at, f.cobId);
            Put8(bank2, at + 4, control);
        }
    }
}

// The frames of one direction, laid into the banks; returns the row count.
int CompileFrames(BankImages& banks, const std::filesystem::path& projectDir, FrameDirection direction,
                  std::optional<CanMode> mode, Stops& stops) {
    const FrameFileRows file = ReadFrameRows(projectDir, direction);
    if (!Opened(file, stops)) return 0;
    FrameRows rows = ReadFrames(file, direction, mode, stops);
    if (rows.layable) {
        if (direction == FrameDirection::Receive)
            LayReceiveFrames(banks, *mode, rows.frames);
        else
            LayTransmitFrames(banks, *mode, rows.frames);
    }
    if (rows.stoppedBy) stops.Stop(*rows.stoppedBy);
    return static_cast<int>(file.rows.size());
}

// Index, NrPdo and PosComp of each row, copied as the file holds them. The
// count is checked before the first record so that a refused file leaves
// the region untouched. Returns the row count.
int CompileMappings(Bank bank, const std::filesystem::path& projectDir, FrameDirection direction, Stops& stops) {
    const MappingFileRows file = ReadMappingRows(projectDir, direction);
    if (!Opened(file, stops)) return 0;
    const bool receive = direction == FrameDirection::Receive;
    const int limit = receive ? kMaxReceiveMappings : kMaxTransmitMappings;
    const int count = static_cast<int>(file.rows.size());
    bool layable = true;
    if (count > limit) {
        stops.Stop(CompileError(file.fileName, 0, {}, TooManyRowsMessage("mapping records", count, limit)));
        layable = false;
    }
    const std::size_t offset = receive ? kReceiveMappingOffset : kTransmitMappingOffset;
    for (int i = 0; i < count; ++i) {
        const auto& row = file.rows[static_cast<std::size_t>(i)];
        const auto index = Required(row[kIndexColumn], file.fileName, i + 1, "Index", stops);
        const auto frame = Required(row[kNrPdoColumn], file.fileName, i + 1, "NrPdo", stops);
        const auto bytes = Required(row[kPosCompColumn], file.fileName, i + 1, "PosComp", stops);
        if (!layable || !index || !frame || !bytes) continue;
        const std::size_t at = offset + kMappingSize * static_cast<std::size_t>(i);
        Put16(bank, at, *index);
        Put8(bank, at + 2, *frame);
        Put8(bank, at + 3, *bytes);
    }
    return count;
}

}  // namespace

std::string LocatedText(const std::string& file, int row, const std::string& field, const std::string& text) {
    std::string located;
    if (!file.empty()) located += file + ": ";
    if (row > 0) located += "row " + std::to_string(row) + ": ";
    if (!field.empty()) located += field + ": ";
    return located + text;
}

CompileError::CompileError(std::string file, int row, std::string field, std::string text)
    : Error(LocatedText(file, row, field, text)),
      file_(std::move(file)),
      row_(row),
      field_(std::move(field)),
      text_(std::move(text)) {}

std::string MissingElementMessage(const std::string& element) {
    return "The element \"" + element + "\" is missing";
}

std::string TooManyRowsMessage(const std::string& what, int count, int limit) {
    return "Too many " + what + ": " + std::to_string(count) + " rows, the limit is " + std::to_string(limit);
}

std::string CanTypeDisagreesMessage(std::int64_t value) {
    return std::to_string(value) + " means " + std::string(CanModeText(CanMode::Can20B)) +
           ", but the device takes its low byte (" + std::to_string(value & 0xFF) + "), which means " +
           std::string(CanModeText(CanModeOfCanType(value))) + ": give 0 or 1";
}

std::string CobIdOutside20AMessage(const std::string& text) {
    return "The CobID " + text + " is outside 0 to " + std::to_string(kLookupEntries - 1) + ", the range of CAN 2.0A";
}

void BankCompiler::BuildBankImages(const std::filesystem::path& projectDir, const LocalDateTime& stamp,
                                   std::vector<CompileError>* noted) {
    Stops stops(noted);
    Bank bank1 = banks_.Bank(1);
    Bank bank2 = banks_.Bank(2);

    std::fill_n(bank1.begin() + kLookupOffset, kLookupSize, std::uint8_t{0xFF});
    std::fill_n(bank1.begin() + kBitmapOffset, kBitmapSize, std::uint8_t{0x00});

    const Settings pargen(projectDir, stops);
    // Unknown only while errors are noted and CANType is not readable.
    std::optional<CanMode> mode = CanMode::Can20A;
    if (pargen.Present()) {
        const auto canType = pargen.Required("CANType");
        mode = canType ? std::optional(CanModeOfCanType(*canType)) : std::nullopt;
        if (canType && !CanTypeMeansItsLowByte(*canType)) pargen.Refuse("CANType", CanTypeDisagreesMessage(*canType));
    }

    const int receiveFrames = CompileFrames(banks_, projectDir, FrameDirection::Receive, mode, stops);
    const int transmitFrames = CompileFrames(banks_, projectDir, FrameDirection::Transmit, mode, stops);
    const int receiveMappings = CompileMappings(bank1, projectDir, FrameDirection::Receive, stops);
    const int transmitMappings = CompileMappings(bank2, projectDir, FrameDirection::Transmit, stops);

    if (pargen.Present()) {
        // The file holds the 0-based index of the CAN bit rate; the device counts from 1.
        if (auto v = pargen.Required("BaudRateCAN")) Put8(bank1, kBaudRateCan, *v + 1);
        // CANType was read above; an error in it is noted once.
        if (mode) Put8(bank1, kCanType, pargen.Optional("CANType", 0));
        if (auto v = pargen.Required("Baud_Ser")) Put8(bank1, kBaudSer, *v);
        // The file holds odd parity as 1, the device expects 3.
        if (auto v = pargen.Required("Par_Ser")) Put8(bank1, kParity, BankParityCode(*v));
        if (auto v = pargen.Required("IDDev_Ser")) Put8(bank1, kDeviceAddress, *v);
        if (auto v = pargen.Required("TimeOut_Ser")) Put16(bank1, kTimeOutSer, *v);
        Put8(bank1, kTimeOutData, pargen.Optional("TimeOut_Data", 0));
        // Only the low byte of the register number reaches the device.
        Put16(bank1, kTimeOutRegister, pargen.Optional("TO_ModReg", 1) & 0xFF);
        Put8(bank1, kSerialInterface, pargen.Optional("Serial", 1));
        Put16(bank1, kReceiveFrameCount, receiveFrames);
        Put16(bank1, kTransmitFrameCount, transmitFrames);
        Put16(bank1, kReceiveMappingCount, receiveMappings);
        Put16(bank1, kTransmitMappingCount, transmitMappings);
    }

    Put16(bank1, kDateStamp, PackedDate(stamp));
    Put16(bank1, kTimeStamp, PackedTime(stamp));

    Put8(bank1, kCancelData, pargen.Present() ? pargen.Optional("Cancel_Data", 0) : 0);
    Put8(bank1, kCancelDataInputReg, pargen.Present() ? pargen.Optional("Can_Data_Inp_Reg", 0) : 0);
}

}  // namespace vestrel

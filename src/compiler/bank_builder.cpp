#include "compiler/bank_builder.h"

#include "compiler/bank_layout.h"

#include "platform/error.h"
#include "project/integer_text.h"
#include "project/project_files.h"
#include "project/project_xml.h"

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

// A required integer: its text converted strictly, a failure located.
std::int32_t RequiredInteger(const std::string& file, int row, const char* field, const std::string& text) {
    try {
        return ParseIntegerTextStrict(text);
    } catch (const Error& e) {
        throw CompileError(file, row, field, e.what());
    }
}

// One project file, loaded when it exists. The document element is taken
// whatever its name, and each of its child elements is one record.
struct ProjectDocument {
    ProjectXml xml;
    ProjectXml::Element root;
    std::string fileName;  // as found on disk
    int count = 0;

    bool Load(const std::filesystem::path& projectDir, std::string_view name) {
        auto path = FindProjectFile(projectDir, name);
        if (!path) return false;
        fileName = path->filename().string();
        try {
            xml.LoadFromFile(*path);
        } catch (const Error& e) {
            throw CompileError(fileName, 0, {}, e.what());
        }
        root = xml.DocumentElement();
        count = xml.ChildCount(root);
        return true;
    }

    ProjectXml::Element Row(int i) const { return xml.Child(root, i); }

    // An attribute of row `i` (from 0) that must hold integer text.
    std::int32_t RequiredAttribute(int i, ProjectXml::Element row, const char* name) const {
        auto text = xml.Attribute(row, name);
        if (!text) throw CompileError(fileName, i + 1, name, kMissingIntegerAttributeMessage);
        return RequiredInteger(fileName, i + 1, name, *text);
    }

    // A pargen.xml setting that must be there and hold integer text.
    std::int32_t RequiredSetting(const char* name) const {
        auto element = xml.FindChild(root, name);
        if (!element) throw CompileError(fileName, 0, {}, MissingElementMessage(name));
        return RequiredInteger(fileName, 0, name, xml.Text(element));
    }

    // A setting with a default for every failure: absent or not integer text.
    std::int32_t OptionalSetting(const char* name, std::int32_t fallback) const {
        auto element = xml.FindChild(root, name);
        if (!element) return fallback;
        return ParseIntegerText(xml.Text(element), fallback);
    }

    void RequireAtMost(int limit, const char* what) const {
        if (count > limit) throw CompileError(fileName, 0, {}, TooManyRowsMessage(what, count, limit));
    }
};

struct Frame {
    std::int32_t cobId = 0;
    std::int32_t length = 0;
    bool remote = false;
};

// The frames of a frame file in document order. A row that cannot be
// converted ends the list; its error is kept so that the caller can first lay
// the frames before it into the banks, as a compile that stops at that row
// leaves them, and then report it. A COB-ID that CAN 2.0A cannot address is
// refused at once, before any record of the file is written.
struct FrameRows {
    std::vector<Frame> frames;
    std::optional<CompileError> stoppedBy;

    void ThrowIfStopped() const {
        if (stoppedBy) throw *stoppedBy;
    }
};

bool IsRemote(const ProjectDocument& doc, ProjectXml::Element row) {
    std::string rtr = doc.xml.Attribute(row, "RTR").value_or("");
    std::transform(rtr.begin(), rtr.end(), rtr.begin(), [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
    return rtr == "Y";
}

FrameRows ReadFrames(const ProjectDocument& doc, FrameDirection direction, CanMode mode) {
    doc.RequireAtMost(kMaxFrames, "frames");
    FrameRows result;
    result.frames.reserve(static_cast<std::size_t>(doc.count));
    for (int i = 0; i < doc.count; ++i) {
        auto row = doc.Row(i);
        Frame frame;
        try {
            frame.cobId = doc.RequiredAttribute(i, row, "CobID");
            frame.length = doc.RequiredAttribute(i, row, "Dimensin");
        } catch (const CompileError& e) {
            result.stoppedBy = e;
            break;
        }
        if (direction == FrameDirection::Receive && mode == CanMode::Can20A &&
            (frame.cobId < 0 || static_cast<std::size_t>(frame.cobId) >= kLookupEntries)) {
            throw CompileError(doc.fileName, i + 1, {},
                               CobIdOutside20AMessage(doc.xml.Attribute(row, "CobID").value_or("")));
        }
        if (direction == FrameDirection::Transmit) frame.remote = IsRemote(doc, row);
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

// Index, NrPdo and PosComp of each row, copied as the file holds them. The
// count is checked before the first record so that a refused file leaves
// the region untouched.
void LayMappings(const ProjectDocument& doc, Bank bank, std::size_t offset, int limit) {
    doc.RequireAtMost(limit, "mapping records");
    for (int i = 0; i < doc.count; ++i) {
        auto row = doc.Row(i);
        const std::int32_t index = doc.RequiredAttribute(i, row, "Index");
        const std::int32_t frame = doc.RequiredAttribute(i, row, "NrPdo");
        const std::int32_t bytes = doc.RequiredAttribute(i, row, "PosComp");
        const std::size_t at = offset + kMappingSize * static_cast<std::size_t>(i);
        Put16(bank, at, index);
        Put8(bank, at + 2, frame);
        Put8(bank, at + 3, bytes);
    }
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

std::string CobIdOutside20AMessage(const std::string& text) {
    return "The CobID " + text + " is outside 0 to " + std::to_string(kLookupEntries - 1) + ", the range of CAN 2.0A";
}

void BankCompiler::BuildBankImages(const std::filesystem::path& projectDir, const LocalDateTime& stamp) {
    Bank bank1 = banks_.Bank(1);
    Bank bank2 = banks_.Bank(2);

    std::fill_n(bank1.begin() + kLookupOffset, kLookupSize, std::uint8_t{0xFF});
    std::fill_n(bank1.begin() + kBitmapOffset, kBitmapSize, std::uint8_t{0x00});
    int receiveFrames = 0;
    int transmitFrames = 0;
    int receiveMappings = 0;
    int transmitMappings = 0;
    CanMode mode = CanMode::Can20A;

    ProjectDocument pargen;
    const bool hasPargen = pargen.Load(projectDir, "Pargen.xml");
    if (hasPargen) mode = pargen.RequiredSetting("CANType") == 0 ? CanMode::Can20A : CanMode::Can20B;

    if (ProjectDocument doc; doc.Load(projectDir, kReceiveFramesFile)) {
        receiveFrames = doc.count;
        FrameRows rows = ReadFrames(doc, FrameDirection::Receive, mode);
        LayReceiveFrames(banks_, mode, rows.frames);
        rows.ThrowIfStopped();
    }
    if (ProjectDocument doc; doc.Load(projectDir, kTransmitFramesFile)) {
        transmitFrames = doc.count;
        FrameRows rows = ReadFrames(doc, FrameDirection::Transmit, mode);
        LayTransmitFrames(banks_, mode, rows.frames);
        rows.ThrowIfStopped();
    }
    if (ProjectDocument doc; doc.Load(projectDir, kReceiveMappingsFile)) {
        receiveMappings = doc.count;
        LayMappings(doc, bank1, kReceiveMappingOffset, kMaxReceiveMappings);
    }
    if (ProjectDocument doc; doc.Load(projectDir, kTransmitMappingsFile)) {
        transmitMappings = doc.count;
        LayMappings(doc, bank2, kTransmitMappingOffset, kMaxTransmitMappings);
    }

    if (hasPargen) {
        // The file holds the 0-based index of the CAN bit rate; the device counts from 1.
        Put8(bank1, kBaudRateCan, pargen.RequiredSetting("BaudRateCAN") + 1);
        Put8(bank1, kCanType, pargen.RequiredSetting("CANType"));
        Put8(bank1, kBaudSer, pargen.RequiredSetting("Baud_Ser"));
        // The file holds odd parity as 1, the device expects 3.
        const std::int32_t parity = pargen.RequiredSetting("Par_Ser");
        Put8(bank1, kParity, parity == 1 ? 3 : parity);
        Put8(bank1, kDeviceAddress, pargen.RequiredSetting("IDDev_Ser"));
        Put16(bank1, kTimeOutSer, pargen.RequiredSetting("TimeOut_Ser"));
        Put8(bank1, kTimeOutData, pargen.OptionalSetting("TimeOut_Data", 0));
        // Only the low byte of the register number reaches the device.
        Put16(bank1, kTimeOutRegister, pargen.OptionalSetting("TO_ModReg", 1) & 0xFF);
        Put8(bank1, kSerialInterface, pargen.OptionalSetting("Serial", 1));
        Put16(bank1, kReceiveFrameCount, receiveFrames);
        Put16(bank1, kTransmitFrameCount, transmitFrames);
        Put16(bank1, kReceiveMappingCount, receiveMappings);
        Put16(bank1, kTransmitMappingCount, transmitMappings);
    }

    Put16(bank1, kDateStamp, PackedDate(stamp));
    Put16(bank1, kTimeStamp, PackedTime(stamp));

    Put8(bank1, kCancelData, hasPargen ? pargen.OptionalSetting("Cancel_Data", 0) : 0);
    Put8(bank1, kCancelDataInputReg, hasPargen ? pargen.OptionalSetting("Can_Data_Inp_Reg", 0) : 0);
}

}  // namespace vestrel

#include "inspect/bank_decoder.h"

#include "compiler/bank_builder.h"
#include "compiler/bank_layout.h"
#include "platform/error.h"
#include "platform/file_set.h"
#include "platform/file_util.h"
#include "platform/scratch_folder.h"
#include "platform/text.h"
#include "project/pos_comp.h"
#include "project/project_xml.h"

#include <cerrno>
#include <cstdlib>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

namespace vestrel {

namespace {

namespace fs = std::filesystem;

using namespace layout;

using Bank = std::span<const std::uint8_t, kBankSize>;

unsigned U16(Bank bank, std::size_t at) { return bank[at] | bank[at + 1] << 8; }
std::uint32_t U32(Bank bank, std::size_t at) {
    return static_cast<std::uint32_t>(U16(bank, at)) | static_cast<std::uint32_t>(U16(bank, at + 2)) << 16;
}


std::string ByteText(unsigned value) { return PrefixedHex(value, 2); }


[[noreturn]] void Inconsistent(const std::string& what) { throw Error(what); }

void RequireCount(unsigned count, std::size_t offset, const char* what, unsigned limit) {
    if (count > limit)
        Inconsistent("Bank 1 offset " + std::to_string(offset) + " counts " + std::to_string(count) + " " + what +
                     ", more than the " + std::to_string(limit) + " the layout holds");
}

void DecodeReceive20A(Bank bank1, Bank bank2, unsigned count, DecodedBanks& d) {
    std::array<unsigned, kLookupEntries> lookup;
    lookup.fill(0xFFFF);
    std::array<std::uint8_t, kBitmapSize> bitmap{};
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = kReceive20ASize * i;
        DecodedFrame f;
        f.cobId = U16(bank2, at);
        f.length = bank2[at + 2];
        if (f.cobId >= kLookupEntries)
            Inconsistent("Receive frame record " + std::to_string(i + 1) + " (bank 2 offset " + std::to_string(at) +
                         ") has CobID " + PrefixedHex(f.cobId) + ", outside 0 to 2047, but CANType " +
                         std::to_string(d.canType) + " means CAN 2.0A");
        lookup[f.cobId] = i;
        bitmap[f.cobId / 8] |= static_cast<std::uint8_t>(1u << (f.cobId % 8));
        d.receiveFrames.push_back(f);
    }
    for (std::size_t k = 0; k < kLookupEntries; ++k) {
        const unsigned held = U16(bank1, 2 * k);
        if (held == lookup[k]) continue;
        std::string entry = "The receive lookup table disagrees with the receive frame records: entry " + PrefixedHex(static_cast<std::uint32_t>(k)) +
                            " (bank 1 offset " + std::to_string(2 * k) + ") holds " + PrefixedHex(held, 4);
        if (lookup[k] == 0xFFFF)
            Inconsistent(entry + ", but no receive frame record has CobID " + PrefixedHex(static_cast<std::uint32_t>(k)));
        Inconsistent(entry + ", but the records call for " + PrefixedHex(lookup[k], 4) + " (row " +
                     std::to_string(lookup[k] + 1) + ", the last with that CobID)");
    }
    for (std::size_t byte = 0; byte < kBitmapSize; ++byte) {
        if (bank1[kBitmapOffset + byte] != bitmap[byte])
            Inconsistent("The ReceiveIdBitmap disagrees with the receive frame records: byte " + std::to_string(byte) +
                         " (bank 1 offset " + std::to_string(kBitmapOffset + byte) + ") holds " +
                         ByteText(bank1[kBitmapOffset + byte]) + ", but the records call for " +
                         ByteText(bitmap[byte]));
    }
}

void DecodeReceive20B(Bank bank1, unsigned count, DecodedBanks& d) {
    const std::string layout = "CANType " + std::to_string(d.canType) + " means CAN 2.0B, but ";
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = kReceive20BSize * i;
        DecodedFrame f;
        f.cobId = U32(bank1, at);
        f.length = bank1[at + 4];
        if (bank1[at + 5] != (i & 0xFF))
            Inconsistent(layout + "receive frame record " + std::to_string(i + 1) + " (bank 1 offset " +
                         std::to_string(at) + ") gives the position " + std::to_string(bank1[at + 5]) +
                         " instead of " + std::to_string(i & 0xFF));
        d.receiveFrames.push_back(f);
    }
    for (std::size_t at = kReceive20BSize * count; at < kLookupSize; ++at) {
        if (bank1[at] != 0xFF)
            Inconsistent(layout + "bank 1 offset " + std::to_string(at) + ", after the " + std::to_string(count) +
                         " receive frame records, holds " + ByteText(bank1[at]) + " where that layout leaves 0xFF");
    }
    for (std::size_t at = kBitmapOffset; at < kBitmapOffset + kBitmapSize; ++at) {
        if (bank1[at] != 0)
            Inconsistent(layout + "bank 1 offset " + std::to_string(at) + " holds " + ByteText(bank1[at]) +
                         " where that layout keeps the ReceiveIdBitmap region zero");
    }
}

void DecodeTransmit(Bank bank2, unsigned count, DecodedBanks& d) {
    const bool a = d.mode == CanMode::Can20A;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = a ? kTransmit20AOffset + kTransmit20ASize * i : kTransmit20BSize * i;
        const std::size_t controlAt = at + (a ? 2 : 4);
        DecodedFrame f;
        f.cobId = a ? U16(bank2, at) : U32(bank2, at);
        const std::uint8_t control = bank2[controlAt];
        if (control & 0xE0)
            Inconsistent("Transmit frame record " + std::to_string(i + 1) + " (bank 2 offset " +
                         std::to_string(controlAt) + ") has the control byte " + ByteText(control) +
                         "; a compile leaves bits 5-7 clear");
        f.length = control & 0x0F;
        f.remote = (control & 0x10) != 0;
        d.transmitFrames.push_back(f);
    }
}

std::vector<DecodedMapping> DecodeMappings(Bank bank, std::size_t offset, unsigned count) {
    std::vector<DecodedMapping> mappings;
    mappings.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = offset + kMappingSize * i;
        mappings.push_back(DecodedMapping{static_cast<std::uint16_t>(U16(bank, at)), bank[at + 2], bank[at + 3]});
    }
    return mappings;
}

std::string CobIdText(std::uint32_t cobId) { return PrefixedHex(cobId); }

bool Ascending(const std::vector<DecodedMapping>& mappings) {
    return std::is_sorted(mappings.begin(), mappings.end(),
                          [](const DecodedMapping& a, const DecodedMapping& b) { return a.index < b.index; });
}

// SaveMappings orders rows by Index, equal values in reverse scan order. With
// one frame per record, listed last record first, it writes the records in
// their order whenever their Index values ascend. Otherwise the file is
// written in the banks' order directly, in the same form.
std::string DecodedMappingsText(FrameDirection direction, const std::vector<DecodedMapping>& mappings) {
    if (Ascending(mappings)) {
        FrameList frames;
        frames.reserve(mappings.size());
        for (auto m = mappings.rbegin(); m != mappings.rend(); ++m) {
            TClPdo& frame = frames.emplace_back(std::string(), m->nrPdo);
            frame.Registers.push_back(TClIndMB{std::to_string(m->index), std::to_string(m->posComp)});
        }
        return MappingsText(direction, frames);
    }
    ProjectXml xml;
    auto root = xml.AddDocumentElement(MappingsStem(direction));
    for (const DecodedMapping& m : mappings) {
        auto row = xml.AppendChild(root, "row");
        xml.SetAttribute(row, "Index", std::to_string(m.index));
        xml.SetAttribute(row, "NrPdo", std::to_string(m.nrPdo));
        xml.SetAttribute(row, "PosComp", std::to_string(m.posComp));
    }
    return xml.Serialize();
}

}  // namespace

BankByteMask CompiledBytes(const DecodedBanks& d) {
    BankByteMask mask{std::vector<bool>(kBankSize), std::vector<bool>(kBankSize)};
    auto mark = [&](int bank, std::size_t from, std::size_t length) {
        for (std::size_t i = from; i < from + length && i < kBankSize; ++i) mask[static_cast<std::size_t>(bank - 1)][i] = true;
    };
    mark(1, 0, kReceiveMappingOffset);  // lookup table or CAN 2.0B records, and bitmap: reset by every compile
    mark(1, kReceiveMappingOffset, kMappingSize * d.receiveMappings.size());
    mark(1, kBaudRateCan, 10);               // 16000-16009
    mark(1, kReceiveFrameCount, 8);      // 16012-16019
    mark(1, kCancelData, 2);             // 16024-16025
    mark(1, kSerialInterface, 1);
    if (d.mode == CanMode::Can20A) {
        mark(2, 0, kReceive20ASize * d.receiveFrames.size());
        mark(2, kTransmit20AOffset, kTransmit20ASize * d.transmitFrames.size());
    } else {
        mark(2, 0, kTransmit20BSize * d.transmitFrames.size());
    }
    mark(2, kTransmitMappingOffset, kMappingSize * d.transmitMappings.size());
    return mask;
}

std::string UnwrittenRegion(const DecodedBanks& d, int bank, std::size_t offset) {
    auto past = [](std::size_t count, const char* what) {
        return "past the " + Plural(count, std::string(what) + " record", std::string(what) + " records");
    };
    const std::string never = "which no compile writes";
    if (bank == 1) {
        if (offset >= kReceiveMappingOffset && offset < kParameterOffset)
            return past(d.receiveMappings.size(), "receive mapping");
        if (offset > kSerialInterface) return "past the parameter block, " + never;
        return "in the parameter block, " + never;
    }
    if (offset >= kTransmitMappingOffset) return past(d.transmitMappings.size(), "transmit mapping");
    if (d.mode == CanMode::Can20A)
        return offset < kTransmit20AOffset ? past(d.receiveFrames.size(), "receive frame")
                                           : past(d.transmitFrames.size(), "transmit frame");
    if (offset < kTransmit20BOffset + kMaxFrames * kTransmit20BSize) return past(d.transmitFrames.size(), "transmit frame");
    return "after the room of the transmit frame records, " + never;
}

namespace {

std::string StampText(std::uint16_t date, std::uint16_t time) {
    const int day = date >> 11, month = (date >> 7) & 0x0F, year = date & 0x7F;
    const int second = (time >> 11) * 2, minute = (time >> 5) & 0x3F, hour = time & 0x1F;
    char text[96];
    if (day < 1 || month < 1 || month > 12 || year > 99 || second > 59 || minute > 59 || hour > 23) {
        return "not a valid date and time (PackedDate " + PrefixedHex(date, 4) + ", PackedTime " + PrefixedHex(time, 4) +
               ")";
    } else {
        std::snprintf(text, sizeof text, "%02d.%02d.%02d %02d:%02d:%02d (DD.MM.YY, seconds rounded down to even)",
                      day, month, year, hour, minute, second);
    }
    return text;
}

std::string Flag(std::uint8_t value, const char* element) {
    const std::string raw = " (" + std::string(element) + " " + std::to_string(value) + ")";
    if (value == 0) return "no" + raw;
    if (value == 1) return "yes" + raw;
    return "neither yes (1) nor no (0)" + raw;
}

std::string ByteName(int nibble) { return nibble == 0 ? "none" : "B" + std::to_string(nibble); }

}  // namespace

DecodedBanks DecodeBanks(const BankImages& banks) {
    const Bank bank1 = banks.Bank(1);
    const Bank bank2 = banks.Bank(2);

    // Without pargen.xml a compile writes none of 16000-16019 and 16099.
    const bool written = std::any_of(bank1.begin() + kBaudRateCan, bank1.begin() + kDateStamp,
                                     [](std::uint8_t b) { return b != 0; }) ||
                         bank1[kSerialInterface] != 0;
    if (!written)
        Inconsistent("The parameter block of bank 1 was never written (offsets 16000-16019 and 16099 are all zero): "
                     "the project that made these banks had no pargen.xml, and without it the banks hold no CAN "
                     "mode, no settings and no counts of frames and mappings");

    // Where each field of the parameter block lies.
    static constexpr std::pair<std::size_t, std::uint8_t DecodedBanks::*> kByteFields[] = {
        {kBaudRateCan, &DecodedBanks::canRateCode},     {kCanType, &DecodedBanks::canType},
        {kBaudSer, &DecodedBanks::serialRate},          {kParity, &DecodedBanks::parityCode},
        {kDeviceAddress, &DecodedBanks::deviceAddress}, {kTimeOutData, &DecodedBanks::dataTimeOut},
        {kTimeOutRegister, &DecodedBanks::timeOutRegister}, {kSerialInterface, &DecodedBanks::serialInterface},
        {kCancelData, &DecodedBanks::cancelData},       {kCancelDataInputReg, &DecodedBanks::cancelDataInputReg},
    };
    static constexpr std::pair<std::size_t, std::uint16_t DecodedBanks::*> kWordFields[] = {
        {kTimeOutSer, &DecodedBanks::serialTimeOut},
        {kDateStamp, &DecodedBanks::packedDate},
        {kTimeStamp, &DecodedBanks::packedTime},
    };
    DecodedBanks d;
    for (const auto& [offset, field] : kByteFields) d.*field = bank1[offset];
    for (const auto& [offset, field] : kWordFields) d.*field = static_cast<std::uint16_t>(U16(bank1, offset));
    d.mode = CanModeOfCanType(d.canType);

    if (bank1[kTimeOutRegister + 1] != 0)
        Inconsistent("Bank 1 offset " + std::to_string(kTimeOutRegister + 1) + " holds " +
                     ByteText(bank1[kTimeOutRegister + 1]) +
                     ", but a compile keeps only the low byte of TO_ModReg and writes 0 there");
    if (d.parityCode == 1)
        Inconsistent("Bank 1 offset 16003 holds the parity code 1, which no compile writes (0 none, 3 odd, 2 even)");

    const unsigned receiveFrames = U16(bank1, kReceiveFrameCount);
    const unsigned transmitFrames = U16(bank1, kTransmitFrameCount);
    const unsigned receiveMappings = U16(bank1, kReceiveMappingCount);
    const unsigned transmitMappings = U16(bank1, kTransmitMappingCount);
    RequireCount(receiveFrames, kReceiveFrameCount, "receive frames", MaxFrameRows);
    RequireCount(transmitFrames, kTransmitFrameCount, "transmit frames", MaxFrameRows);
    RequireCount(receiveMappings, kReceiveMappingCount, "receive mapping records", kMaxReceiveMappings);
    RequireCount(transmitMappings, kTransmitMappingCount, "transmit mapping records", kMaxTransmitMappings);

    if (d.mode == CanMode::Can20A)
        DecodeReceive20A(bank1, bank2, receiveFrames, d);
    else
        DecodeReceive20B(bank1, receiveFrames, d);
    DecodeTransmit(bank2, transmitFrames, d);
    d.receiveMappings = DecodeMappings(bank1, kReceiveMappingOffset, receiveMappings);
    d.transmitMappings = DecodeMappings(bank2, kTransmitMappingOffset, transmitMappings);
    return d;
}

CommParameters DecodedCommParameters(const DecodedBanks& d) {
    CommParameters p;
    // The file holds the 0-based rate index; the bank counts from 1.
    p.BaudRateCAN = std::to_string(static_cast<int>(d.canRateCode) - 1);
    p.CANType = std::to_string(d.canType);
    p.Baud_Ser = std::to_string(d.serialRate);
    p.Par_Ser = std::to_string(ParSerOfBankParity(d.parityCode));
    p.IDDev_Ser = std::to_string(d.deviceAddress);
    p.TimeOut_Ser = std::to_string(d.serialTimeOut);
    p.TimeOut_Data = std::to_string(d.dataTimeOut);
    p.TO_ModReg = std::to_string(d.timeOutRegister);
    p.Serial = std::to_string(d.serialInterface);
    p.Cancel_Data = std::to_string(d.cancelData);
    p.Can_Data_Inp_Reg = std::to_string(d.cancelDataInputReg);
    return p;
}

FrameTable DecodedFrameTable(const DecodedBanks& d, FrameDirection direction) {
    FrameTable table;
    table.direction = direction;
    const bool receive = direction == FrameDirection::Receive;
    for (const DecodedFrame& f : receive ? d.receiveFrames : d.transmitFrames) {
        FrameRow row;
        row.CobID = CobIdText(f.cobId);
        row.Dimensin = std::to_string(f.length);
        if (!receive) row.RTR = f.remote ? "Y" : "N";
        table.rows.push_back(std::move(row));
    }
    return table;
}

namespace {

// The five files of the decoded project, by name.
std::vector<std::pair<std::string_view, std::string>> DecodedProjectFiles(const DecodedBanks& d) {
    return {{kPargenFile, CommParametersText(DecodedCommParameters(d))},
            {kReceiveFramesFile, FrameTableText(DecodedFrameTable(d, FrameDirection::Receive))},
            {kTransmitFramesFile, FrameTableText(DecodedFrameTable(d, FrameDirection::Transmit))},
            {kReceiveMappingsFile, DecodedMappingsText(FrameDirection::Receive, d.receiveMappings)},
            {kTransmitMappingsFile, DecodedMappingsText(FrameDirection::Transmit, d.transmitMappings)}};
}

}  // namespace

void WriteDecodedProject(const fs::path& projectDir, const DecodedBanks& d) {
    std::error_code ec;
    if (fs::exists(projectDir, ec) && !fs::is_directory(projectDir, ec))
        throw Error("\"" + projectDir.string() + "\" is not a folder");
    const bool made = !fs::exists(projectDir, ec);
    RequireOutputFolder(projectDir);
    try {
        // A decode into this folder that was killed is finished first, and
        // then counts as the project files it wrote.
        SettleFileSetLocked(projectDir);
        for (std::string_view name : kProjectFileNames) {
            if (auto existing = FindProjectFile(projectDir, name))
                throw Error("The folder \"" + projectDir.string() + "\" already holds " +
                            existing->filename().string() +
                            "; a decoded project is written only into a folder without project files");
        }
        // The five files take their places as one set: a full disk, a refused
        // write or a kill leaves either no project files or all of them.
        std::vector<FileContent> files;
        for (auto& [name, text] : DecodedProjectFiles(d)) files.push_back({projectDir / std::string(name), std::move(text)});
        CommitFileSet(projectDir, "decode into the folder", files);
    } catch (...) {
        if (made) fs::remove(projectDir, ec);  // only when still empty
        throw;
    }
}

std::optional<std::string> FirstDifference(const DecodedBanks& d, const BankImages& original,
                                           const BankImages& recompiled) {
    const auto mask = CompiledBytes(d);
    for (int n = 1; n <= 2; ++n) {
        const Bank a = original.Bank(n);
        const Bank b = recompiled.Bank(n);
        const auto& written = mask[static_cast<std::size_t>(n - 1)];
        for (std::size_t i = 0; i < kBankSize; ++i) {
            if (written[i] && a[i] != b[i])
                return "bank " + std::to_string(n) + " offset " + std::to_string(i) + ": " + ByteText(a[i]) +
                       " here, " + ByteText(b[i]) + " after a compile";
        }
    }
    return std::nullopt;
}

void VerifyDecodedProject(const DecodedBanks& d, const BankImages& original) {
    ScratchFolder scratch("vestrel-decode-");
    for (const auto& [name, text] : DecodedProjectFiles(d)) scratch.Write(name, text);
    auto compiler = std::make_unique<BankCompiler>();
    try {
        compiler->BuildBankImages(scratch.Path(), LocalDateTime{});
    } catch (const Error& e) {
        throw Error(std::string("The decoded project does not compile: ") + e.what());
    }
    if (auto difference = FirstDifference(d, original, compiler->Banks()))
        throw Error("The decoded project does not compile back to the same banks: " + *difference);
}

std::optional<int> SerialBitRate(std::uint8_t serialRate) {
    if (serialRate >= kSerialBitRates.size()) return std::nullopt;
    return kSerialBitRates[serialRate];
}

const char* ParityWord(std::uint8_t parityCode) {
    const std::optional<SerialParity> parity = ParityOfBankCode(parityCode);
    if (!parity) return nullptr;
    return *parity == SerialParity::None ? "none" : *parity == SerialParity::Odd ? "odd" : "even";
}

std::vector<SettingRow> DecodedSettings(const DecodedBanks& d, bool withCompileStamp) {
    std::vector<SettingRow> rows;
    auto row = [&](std::string name, std::string value, const char* element) {
        rows.push_back({std::move(name), std::move(value), element});
    };
    const int rateIndex = static_cast<int>(d.canRateCode) - 1;
    row("CAN bit rate",
        (rateIndex >= 0 && rateIndex < static_cast<int>(kCanBitRates.size())
             ? std::to_string(kCanBitRates[static_cast<std::size_t>(rateIndex)] / 1000) + " kbit/s"
             : "not one of the rates") +
            " (BaudRateCAN " + std::to_string(rateIndex) + ")",
        "BaudRateCAN");
    row("CAN mode", std::string(CanModeText(d.mode)) + " (CANType " + std::to_string(d.canType) + ")", "CANType");
    const std::optional<int> serialRate = SerialBitRate(d.serialRate);
    row("Serial bit rate", (serialRate ? std::to_string(*serialRate) + " bit/s" : "not one of the rates") +
                               " (Baud_Ser " + std::to_string(d.serialRate) + ")", "Baud_Ser");
    const char* parity = ParityWord(d.parityCode);
    row("Parity", std::string(parity ? parity : "not one of the parities") + " (Par_Ser " +
                      *DecodedCommParameters(d).Par_Ser + ")", "Par_Ser");
    const char* serial = d.serialInterface == 1 ? "RS485" : d.serialInterface == 0 ? "RS232" : "neither RS232 (0) nor RS485 (1)";
    row("Serial interface", std::string(serial) + " (Serial " + std::to_string(d.serialInterface) + ")", "Serial");
    row("Modbus device address", std::to_string(d.deviceAddress), "IDDev_Ser");
    row("Serial time-out", std::to_string(d.serialTimeOut) + " ms", "TimeOut_Ser");
    row("Data time-out", std::to_string(d.dataTimeOut) + " s", "TimeOut_Data");
    row("Time-out Modbus register", std::to_string(d.timeOutRegister) + " (TO_ModReg, low byte)", "TO_ModReg");
    row("Cancel data after read", Flag(d.cancelData, "Cancel_Data"), "Cancel_Data");
    row("No cancel if read Input Reg.", Flag(d.cancelDataInputReg, "Can_Data_Inp_Reg"), "Can_Data_Inp_Reg");
    if (withCompileStamp) row("Compile stamp", StampText(d.packedDate, d.packedTime), "");
    return rows;
}

std::string DescribeDecodedBanks(const DecodedBanks& d) {
    std::string out;
    auto line = [&](const std::string& text) { out += text + '\n'; };
    for (const SettingRow& setting : DecodedSettings(d)) line(setting.name + ": " + setting.value);

    auto frames = [&](const char* title, const std::vector<DecodedFrame>& list, bool transmit) {
        line(std::string(title) + ": " + std::to_string(list.size()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            const DecodedFrame& f = list[i];
            line("  row " + std::to_string(i + 1) + ": CobID " + CobIdText(f.cobId) + ", Dimensin " +
                 std::to_string(f.length) + (transmit ? std::string(", RTR ") + (f.remote ? "Y" : "N") : ""));
        }
    };
    auto mappings = [&](const char* title, const std::vector<DecodedMapping>& list) {
        line(std::string(title) + ": " + std::to_string(list.size()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            const DecodedMapping& m = list[i];
            line("  row " + std::to_string(i + 1) + ": Index " + std::to_string(m.index) + ", NrPdo " +
                 std::to_string(m.nrPdo) + ", PosComp " + std::to_string(m.posComp) + " (high byte " +
                 ByteName(PosCompHigh(m.posComp)) + ", low byte " + ByteName(PosCompLow(m.posComp)) + ")");
        }
    };
    frames("Receive frames", d.receiveFrames, false);
    frames("Transmit frames", d.transmitFrames, true);
    mappings("Receive mappings", d.receiveMappings);
    mappings("Transmit mappings", d.transmitMappings);
    return out;
}

std::vector<std::string> DecodeNotes(const DecodedBanks& d) {
    std::vector<std::string> notes;
    if (!d.receiveFrames.empty() || !d.transmitFrames.empty())
        notes.push_back("the banks keep no mnemonics: the frames come back without them");
    notes.push_back("the banks keep only the low byte of TO_ModReg: it comes back as " +
                    std::to_string(d.timeOutRegister) + ", and the register may have been that plus any multiple of 256");
    if (!d.receiveMappings.empty() || !d.transmitMappings.empty())
        notes.push_back("the banks keep register numbers in 16 bits: a register above 65535 comes back as its low "
                        "16 bits");
    notes.push_back("the banks do not keep how numbers were typed: COB-IDs come back in hexadecimal, every other "
                    "number in decimal");
    auto order = [&](const std::vector<DecodedMapping>& list, const char* which, std::string_view file) {
        if (Ascending(list)) return;
        const auto at = std::is_sorted_until(list.begin(), list.end(), [](const DecodedMapping& a, const DecodedMapping& b) {
            return a.index < b.index;
        });
        const auto row = static_cast<std::size_t>(at - list.begin());
        notes.push_back(std::string("the ") + which + " mapping records are not in ascending register order (row " +
                        std::to_string(row + 1) + " has register " + std::to_string(at->index) + " after " +
                        std::to_string((at - 1)->index) + "): " + std::string(file) +
                        " keeps the banks' order, which the mapping editor changes when it saves");
    };
    order(d.receiveMappings, "receive", kReceiveMappingsFile);
    order(d.transmitMappings, "transmit", kTransmitMappingsFile);
    return notes;
}

}  // namespace vestrel

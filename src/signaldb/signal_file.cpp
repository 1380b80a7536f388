#include "signaldb/signal_file.h"

#include "project/frame_mapping.h"
#include "platform/error.h"
#include "platform/text.h"
#include "project/integer_text.h"
#include "project/project_xml.h"
#include "signaldb/physical_value.h"
#include "signaldb/signal_codec.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace vestrel::signaldb {

namespace {

using Element = ProjectXml::Element;

constexpr const char* kRoot = "Signals";

// The words of the file, each read back through the same table.
constexpr std::pair<FrameDirection, const char*> kDirectionWords[] = {
    {FrameDirection::Receive, "receive"}, {FrameDirection::Transmit, "transmit"}};
constexpr std::pair<bool, const char*> kYesNo[] = {{false, "N"}, {true, "Y"}};

const char* YesNo(bool value) { return kYesNo[value ? 1 : 0].second; }

std::string RegisterList(const std::vector<std::int32_t>& registers) {
    std::string text;
    for (std::int32_t r : registers) text += (text.empty() ? "" : ",") + std::to_string(r);
    return text;
}

void WriteSignal(ProjectXml& xml, Element parent, const ImportedSignal& imported) {
    const Signal& s = imported.signal;
    Element e = xml.AppendChild(parent, "Signal");
    xml.SetAttribute(e, "Name", s.name);
    xml.SetAttribute(e, "Registers", RegisterList(imported.registers));
    xml.SetAttribute(e, "Shift", std::to_string(imported.shift));
    xml.SetAttribute(e, "Mask", "0x" + UpperHex(imported.mask));
    xml.SetAttribute(e, "StartBit", std::to_string(s.startBit));
    xml.SetAttribute(e, "Length", std::to_string(s.length));
    xml.SetAttribute(e, "ByteOrder", ByteOrderWord(s.order));
    xml.SetAttribute(e, "Type", ValueTypeWord(s.type));
    if (imported.signBit) xml.SetAttribute(e, "SignBit", std::to_string(*imported.signBit));
    xml.SetAttribute(e, "Factor", ShortestText(s.factor));
    xml.SetAttribute(e, "Offset", ShortestText(s.offset));
    xml.SetAttribute(e, "Minimum", ShortestText(s.minimum));
    xml.SetAttribute(e, "Maximum", ShortestText(s.maximum));
    xml.SetAttribute(e, "Unit", s.unit);
    if (!s.comment.empty()) xml.SetAttribute(e, "Comment", s.comment);
    for (const ValueName& v : s.values) {
        Element value = xml.AppendChild(e, "Value");
        xml.SetAttribute(value, "Raw", std::to_string(v.value));
        xml.SetAttribute(value, "Text", v.text);
    }
}

void WriteMessage(ProjectXml& xml, Element root, const ImportedMessage& m) {
    Element e = xml.AppendChild(root, "Message");
    xml.SetAttribute(e, "Direction", DirectionWord(m.direction));
    xml.SetAttribute(e, "Name", m.name);
    xml.SetAttribute(e, "CobID", "0x" + UpperHex(m.id, m.extended ? 8 : 3));
    if (m.databaseId && *m.databaseId != m.id)
        xml.SetAttribute(e, "DatabaseCobID", "0x" + UpperHex(*m.databaseId, m.extended ? 8 : 3));
    xml.SetAttribute(e, "Extended", YesNo(m.extended));
    xml.SetAttribute(e, "DLC", std::to_string(m.length));
    xml.SetAttribute(e, "WordOrder", WordOrderWord(m.order));
    xml.SetAttribute(e, "NewFrame", YesNo(m.newFrame));
    if (m.cycleTimeMs) xml.SetAttribute(e, "CycleTime", std::to_string(*m.cycleTimeMs));
    xml.SetAttribute(e, "Database", m.database);
    xml.SetAttribute(e, "SHA256", m.sha256);
    for (const ImportedRegister& r : m.registers) {
        Element reg = xml.AppendChild(e, "Register");
        xml.SetAttribute(reg, "Index", std::to_string(r.index));
        xml.SetAttribute(reg, "PosComp", std::to_string(r.posComp));
    }
    for (const ImportedSignal& s : m.signalList) WriteSignal(xml, e, s);
}

// ---- reading --------------------------------------------------------------

// Why the file is refused; caught in ReadSignalFile.
struct Refused {
    std::string text;
};

class Reader {
public:
    explicit Reader(const ProjectXml& xml) : xml_(xml) {}

    SignalFile Read(Element root) {
        if (xml_.Name(root) != kRoot) throw Refused{"the document element is not \"Signals\""};
        if (const auto version = xml_.Attribute(root, "Version")) {
            const auto number = ParseIntegerText(*version);
            if (!number || *number < 1 || *number > kSignalFileVersion)
                throw Refused{"Version '" + *version + "': this tool reads versions 1 to " +
                              std::to_string(kSignalFileVersion) + " of the file"};
            version_ = static_cast<int>(*number);
        }
        SignalFile file;
        const int count = xml_.ChildCount(root);
        file.messages.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            context_ = "message " + std::to_string(i + 1);
            const Element e = xml_.Child(root, i);
            if (xml_.Name(e) != "Message") Fail("an element \"" + xml_.Name(e) + "\" where a Message belongs");
            file.messages.push_back(ReadMessage(e));
            const ImportedMessage& m = file.messages.back();
            const auto [twin, first] = frames_.try_emplace(std::tuple(m.direction, m.id, m.extended), i + 1);
            if (!first) Fail("its frame is also that of message " + std::to_string(twin->second));
            for (const ImportedRegister& r : m.registers)
                if (!registers_.insert({m.direction, r.index}).second)
                    Fail("register " + std::to_string(r.index) + " is listed by an earlier message too");
        }
        return file;
    }

private:
    [[noreturn]] void Fail(const std::string& why) const { throw Refused{context_ + ": " + why}; }

    std::string Text(Element e, const char* name) const {
        auto value = xml_.Attribute(e, name);
        if (!value) Fail(std::string("no attribute \"") + name + "\"");
        return *value;
    }

    std::int64_t Integer(Element e, const char* name, std::int64_t min, std::int64_t max) const {
        const std::string text = Text(e, name);
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
            Fail(std::string(name) + " '" + text + "' is not a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max));
        return value;
    }

    double Number(Element e, const char* name) const {
        const std::string text = Text(e, name);
        double value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size()) Fail(std::string(name) + " '" + text + "' is not a number");
        return value;
    }

    // One of the words of `table`, as the value it stands for.
    template <typename T, std::size_t N>
    T Word(Element e, const char* name, const std::pair<T, const char*> (&table)[N]) const {
        const std::string text = Text(e, name);
        for (const auto& [value, word] : table)
            if (text == word) return value;
        std::string list;
        for (const auto& [value, word] : table) list += (list.empty() ? "" : " or ") + std::string(word);
        Fail(std::string(name) + " '" + text + "' is not " + list);
    }

    // A word that ValueOfWord reads back, as its value.
    template <typename T>
    T TableWord(Element e, const char* name, std::optional<T> (*valueOfWord)(std::string_view),
                const char* expected) const {
        const std::string text = Text(e, name);
        if (const auto value = valueOfWord(text)) return *value;
        Fail(std::string(name) + " '" + text + "' is not " + expected);
    }

    ImportedMessage ReadMessage(Element e) {
        ImportedMessage m;
        m.name = Text(e, "Name");
        context_ += " (" + m.name + ")";
        m.direction = Word(e, "Direction", kDirectionWords);
        m.extended = Word(e, "Extended", kYesNo);
        const std::string cobId = Text(e, "CobID");
        const auto id = ParseIntegerText(cobId);
        if (!id || !CobIdFits(*id, m.extended ? CanMode::Can20B : CanMode::Can20A))
            Fail("CobID '" + cobId + "' is not " + (m.extended ? "a 29-bit" : "an 11-bit") + " COB-ID");
        m.id = static_cast<std::uint32_t>(*id);
        if (const auto databaseId = xml_.Attribute(e, "DatabaseCobID"); databaseId && version_ >= 2) {
            const auto value = ParseIntegerText(*databaseId);
            if (!value || !CobIdFits(*value, m.extended ? CanMode::Can20B : CanMode::Can20A))
                Fail("DatabaseCobID '" + *databaseId + "' is not " + (m.extended ? "a 29-bit" : "an 11-bit") +
                     " COB-ID");
            m.databaseId = static_cast<std::uint32_t>(*value);
        }
        m.length = static_cast<int>(Integer(e, "DLC", 1, 8));
        m.order = TableWord(e, "WordOrder", &WordOrderOfWord, "high-first or low-first");
        m.newFrame = Word(e, "NewFrame", kYesNo);
        if (version_ >= 2 && xml_.Attribute(e, "CycleTime"))
            m.cycleTimeMs = static_cast<int>(Integer(e, "CycleTime", 1, 1000000000));
        m.database = Text(e, "Database");
        m.sha256 = Text(e, "SHA256");
        if (m.sha256.size() != 64 || m.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
            Fail("SHA256 '" + m.sha256 + "' is not 64 lower-case hexadecimal digits");
        const std::string messageContext = context_;
        const int count = xml_.ChildCount(e);
        for (int i = 0; i < count; ++i) {
            context_ = messageContext;
            const Element child = xml_.Child(e, i);
            const std::string name = xml_.Name(child);
            if (name == "Register")
                m.registers.push_back(ReadRegister(child, m));
            else if (name == "Signal")
                m.signalList.push_back(ReadSignal(child, m));
            else
                Fail("an element \"" + name + "\" where a Register or a Signal belongs");
        }
        context_ = messageContext;
        if (m.signalList.empty()) Fail("no signal");
        return m;
    }

    ImportedRegister ReadRegister(Element e, const ImportedMessage& m) const {
        ImportedRegister r;
        r.index = static_cast<std::int32_t>(Integer(e, "Index", 0, kHighestRegister));
        r.posComp = static_cast<std::uint8_t>(Integer(e, "PosComp", 0, 255));
        for (int nibble : {PosCompHigh(r.posComp), PosCompLow(r.posComp)})
            if (nibble != kNoDataByte && (DataByteOfNibble(nibble) < 0 || DataByteOfNibble(nibble) >= m.length))
                Fail("register " + std::to_string(r.index) + ": PosComp " + std::to_string(r.posComp) +
                     " names a byte the message does not have");
        if (r.posComp == 0) Fail("register " + std::to_string(r.index) + ": PosComp 0 feeds neither half");
        for (const ImportedRegister& other : m.registers)
            if (other.index == r.index) Fail("register " + std::to_string(r.index) + " is listed twice");
        return r;
    }

    std::vector<std::int32_t> RegisterNumbers(Element e, const ImportedMessage& m) const {
        const std::string text = Text(e, "Registers");
        std::vector<std::int32_t> numbers;
        std::size_t at = 0;
        while (at <= text.size()) {
            std::size_t end = text.find(',', at);
            if (end == std::string::npos) end = text.size();
            std::int32_t n = -1;
            const auto [stop, ec] = std::from_chars(text.data() + at, text.data() + end, n);
            const bool listed = std::any_of(m.registers.begin(), m.registers.end(),
                                            [&](const ImportedRegister& r) { return r.index == n; });
            if (ec != std::errc() || stop != text.data() + end || !listed)
                Fail("Registers '" + text + "' names a register the message does not list");
            numbers.push_back(n);
            at = end + 1;
        }
        if (numbers.size() > 4) Fail("Registers '" + text + "' lists more than 4 registers");
        return numbers;
    }

    ImportedSignal ReadSignal(Element e, const ImportedMessage& m) {
        ImportedSignal imported;
        Signal& s = imported.signal;
        s.name = Text(e, "Name");
        context_ += ", signal \"" + s.name + "\"";
        imported.registers = RegisterNumbers(e, m);
        s.startBit = static_cast<int>(Integer(e, "StartBit", 0, 63));
        s.length = static_cast<int>(Integer(e, "Length", 1, 64));
        s.order = TableWord(e, "ByteOrder", &ByteOrderOfWord, "Intel or Motorola");
        s.type = TableWord(e, "Type", &ValueTypeOfWord, "unsigned, signed, float or double");
        if ((s.type == ValueType::Float32 && s.length != 32) || (s.type == ValueType::Float64 && s.length != 64))
            Fail("a " + std::string(ValueTypeWord(s.type)) + " of " + std::to_string(s.length) + " bits");
        if (!FitsIn(s, m.length)) Fail("its bits reach past the message's " + std::to_string(m.length) + " data bytes");
        imported.shift = static_cast<int>(Integer(e, "Shift", 0, 63));
        if (imported.shift + s.length > 16 * static_cast<int>(imported.registers.size()))
            Fail("Shift " + std::to_string(imported.shift) + " and Length " + std::to_string(s.length) +
                 " do not fit its registers");
        const std::string mask = Text(e, "Mask");
        if (mask != "0x" + UpperHex(LowBits(s.length))) Fail("Mask '" + mask + "' is not that of " + std::to_string(s.length) + " bits");
        imported.mask = LowBits(s.length);
        s.factor = Number(e, "Factor");
        s.offset = Number(e, "Offset");
        s.minimum = Number(e, "Minimum");
        s.maximum = Number(e, "Maximum");
        s.unit = Text(e, "Unit");
        s.comment = xml_.Attribute(e, "Comment").value_or("");
        const int count = xml_.ChildCount(e);
        for (int i = 0; i < count; ++i) {
            const Element v = xml_.Child(e, i);
            if (xml_.Name(v) != "Value") Fail("an element \"" + xml_.Name(v) + "\" where a Value belongs");
            s.values.push_back(ValueName{Integer(v, "Raw", INT64_MIN, INT64_MAX), Text(v, "Text")});
        }
        imported.masked = HoldsMoreThanSignal(m, imported);
        imported.signBit = ReadSignBit(e, imported);
        if (const auto fault = ScalingFaultOf(s)) {
            constexpr const char* kAttributes[] = {"Factor", "Offset", "Minimum", "Maximum"};
            const char* attribute = kAttributes[static_cast<int>(fault->part)];
            imported.problem = std::string(attribute) + " '" + Text(e, attribute) + "' " + fault->reason;
        }
        return imported;
    }

    // Version 2 stores the sign bit; a file of version 1 gets the one the
    // register plan gives.
    std::optional<int> ReadSignBit(Element e, const ImportedSignal& imported) const {
        const Signal& s = imported.signal;
        if (version_ < 2)
            return SignBitOf(s.type, s.length, static_cast<int>(imported.registers.size()), imported.masked);
        if (!xml_.Attribute(e, "SignBit")) return std::nullopt;
        if (s.type != ValueType::Signed) Fail("SignBit on a signal of type " + std::string(ValueTypeWord(s.type)));
        return static_cast<int>(Integer(e, "SignBit", 0, s.length - 1));
    }

    const ProjectXml& xml_;
    int version_ = 1;
    std::string context_;
    std::set<std::pair<FrameDirection, std::int32_t>> registers_;
    std::map<std::tuple<FrameDirection, std::uint32_t, bool>, int> frames_;  // -> the message's number
};

}  // namespace

const ImportedMessage* SignalFile::Find(FrameDirection direction, std::uint32_t id, bool extended) const {
    for (const ImportedMessage& m : messages)
        if (m.direction == direction && m.id == id && m.extended == extended) return &m;
    return nullptr;
}

ImportedMessage* SignalFile::Find(FrameDirection direction, std::uint32_t id, bool extended) {
    return const_cast<ImportedMessage*>(std::as_const(*this).Find(direction, id, extended));
}

const char* DirectionWord(FrameDirection direction) {
    return kDirectionWords[direction == FrameDirection::Receive ? 0 : 1].second;
}

PlcSteps StepsOf(const ImportedSignal& signal) { return {signal.shift, signal.mask, signal.masked, signal.signBit}; }

bool HoldsMoreThanSignal(const ImportedMessage& message, const ImportedSignal& signal) {
    int halves = 0;
    for (std::int32_t n : signal.registers)
        for (const ImportedRegister& r : message.registers)
            if (r.index == n) halves += (PosCompHigh(r.posComp) != kNoDataByte) + (PosCompLow(r.posComp) != kNoDataByte);
    return signal.shift != 0 || signal.signal.length != 8 * halves;
}

namespace {

std::string SignalPart(const ImportedMessage& m, const ImportedSignal& s, std::int32_t index) {
    std::vector<std::string> notes;
    const int count = static_cast<int>(s.registers.size());
    if (count > 1) {
        const auto at = std::find(s.registers.begin(), s.registers.end(), index) - s.registers.begin();
        notes.push_back("word " + std::to_string(at + 1) + " of " + std::to_string(count) + ", " + WordOrderText(m.order));
    }
    if (const std::string steps = PlcStepsText(StepsOf(s)); !steps.empty()) notes.push_back(steps);
    if (m.direction == FrameDirection::Transmit)
        if (const std::string write = MultiRegisterWriteText(count); !write.empty()) notes.push_back(write);
    std::string text = s.signal.name;
    for (std::size_t i = 0; i < notes.size(); ++i) text += (i == 0 ? " (" : "; ") + notes[i];
    return notes.empty() ? text : text + ")";
}

}  // namespace

std::string RegisterLine(const SignalFile& file, FrameDirection direction, std::int32_t index) {
    for (const ImportedMessage& m : file.messages) {
        if (m.direction != direction) continue;
        const auto reg = std::find_if(m.registers.begin(), m.registers.end(),
                                      [&](const ImportedRegister& r) { return r.index == index; });
        if (reg == m.registers.end()) continue;
        std::string line = std::string(DirectionWord(direction)) + " " + std::to_string(index) + ": 0x" +
                           UpperHex(m.id, m.extended ? 8 : 3) + " " + m.name + ", " +
                           RegisterHalvesText(PlannedRegister{reg->posComp});
        std::string held;
        for (const ImportedSignal& s : m.signalList)
            if (std::find(s.registers.begin(), s.registers.end(), index) != s.registers.end())
                held += (held.empty() ? ": " : ", ") + SignalPart(m, s, index);
        return line + held;
    }
    return {};
}

SignalFileRead ReadSignalFile(const std::filesystem::path& projectDir) {
    SignalFileRead read;
    const auto path = FindProjectFile(projectDir, kSignalFile);
    if (!path) return read;
    read.fileName = path->filename().string();
    read.status = ProjectDocument::Status::Unreadable;
    ProjectXml xml;
    try {
        xml.LoadFromFile(*path, kMaxSignalFileBytes);
        read.file = Reader(xml).Read(xml.DocumentElement());
    } catch (const Error& e) {
        read.error = e.what();
        return read;
    } catch (const Refused& r) {
        read.error = r.text;
        return read;
    }
    read.status = ProjectDocument::Status::Loaded;
    return read;
}

std::string SignalFileText(const SignalFile& file) {
    ProjectXml xml;
    const Element root = xml.AddDocumentElement(kRoot);
    xml.SetAttribute(root, "Version", std::to_string(kSignalFileVersion));
    for (const ImportedMessage& m : file.messages) WriteMessage(xml, root, m);
    std::string text = xml.Serialize();
    if (text.size() > kMaxSignalFileBytes)
        throw Error("The signal file would take " + std::to_string(text.size()) + " bytes, more than the " +
                    std::to_string(kMaxSignalFileBytes) + " a project reads");
    return text;
}

}  // namespace vestrel::signaldb

#include "gateway/gateway_model.h"

#include "gateway/model_wording.h"
#include "inspect/bank_decoder.h"
#include "platform/text.h"
#include "project/register_directions.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace vestrel::gateway {

namespace {

// "1", "1 and 3", "1, 2 and 3".
std::string ListText(const std::vector<int>& numbers) {
    std::vector<std::string> texts;
    for (const int number : numbers) texts.push_back(std::to_string(number));
    return JoinedWithAnd(texts);
}

// "frame 2 (COB-ID 0x182)", as the findings name a frame.
std::string FrameLabel(const GatewayDirection& direction, int index) {
    return FrameName(direction.direction, direction.frames[static_cast<std::size_t>(index)], index,
                     {.mnemonic = false});
}

std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// Receive frames that share a COB-ID, given the receive COB-IDs in order and
// their frames: which one the device takes, where it can tell.
void AddSharedCobIdFindings(const std::vector<std::uint32_t>& ids, const std::vector<int>& frames, CanMode mode,
                            std::vector<Finding>& findings) {
    for (std::size_t i = 0; i < ids.size();) {
        std::size_t j = i;
        std::vector<int> positions;
        while (j < ids.size() && ids[j] == ids[i]) positions.push_back(frames[j++] + 1);
        if (positions.size() > 1) {
            std::string text = "Receive frames " + ListText(positions) + " have COB-ID " + can::CobIdText(ids[i]);
            if (mode == CanMode::Can20A) {
                const int selected = LookupSelects(positions);
                std::erase(positions, selected);
                text += ": " + LookupSelectionText(selected, positions.size() + 1) + "; " +
                        (positions.size() == 1 ? "frame " : "frames ") + ListText(positions) + " never " +
                        (positions.size() == 1 ? "receives" : "receive");
            } else {
                text += ": the banks hold them all and the project does not say which one the device matches "
                        "(ambiguous); preview and replay show what each would set";
            }
            findings.push_back(Finding{FrameDirection::Receive, std::move(text), true});
        }
        i = j;
    }
}

// Mapping records that name no frame, or a data byte that their frame does
// not have.
void AddRecordFindings(const GatewayDirection& direction, std::vector<Finding>& findings) {
    const FrameDirection d = direction.direction;
    const bool receive = d == FrameDirection::Receive;
    const char* which = receive ? "receive" : "transmit";
    const char* lost = receive ? "that half is never fed" : "that half is never sent";
    // The project check says each of these of its row in the mapping file;
    // the bytes only of a frame whose Dimensin is 1 to 8.
    auto add = [&](std::string text, bool inCheck = true) { findings.push_back(Finding{d, std::move(text), inCheck}); };
    for (std::size_t i = 0; i < direction.mappings.size(); ++i) {
        const GatewayMapping& m = direction.mappings[i];
        const std::string record = "Record " + std::to_string(i + 1) + " (register " + std::to_string(m.reg) + ")";
        const GatewayFrame* frame = direction.FrameOf(m);
        if (!frame) {
            add(record + " names frame " + std::to_string(m.frame) + ", but there " +
                (direction.frames.size() == 1 ? "is " : "are ") + std::to_string(direction.frames.size()) + " " +
                which + (direction.frames.size() == 1 ? " frame" : " frames") + ": it feeds nothing");
            continue;
        }
        const bool checked = frame->length >= 1 && frame->length <= can::kMaxDataBytes;
        for (const auto& [nibble, half] : {std::pair{m.HighByte(), "high"}, std::pair{m.LowByte(), "low"}}) {
            if (nibble > can::kMaxDataBytes)
                add(record + ": the " + half + " byte's code " + std::to_string(nibble) + " names no data byte; " +
                        lost,
                    checked);
            else if (nibble > frame->length)
                add(record + ": the " + half + " byte comes from B" + std::to_string(nibble) + ", but " +
                        FrameLabel(direction, m.frame - 1) + " has Dimensin " + std::to_string(frame->length) +
                        "; " + lost,
                    checked);
        }
    }
}

// Register numbers in more than one record, with the frames they are fed
// from (receive) or feed (transmit) when there are several: one finding per
// register, which the project check also makes of the rows.
void AddRegisterFindings(const GatewayDirection& direction, std::vector<Finding>& findings) {
    const FrameDirection d = direction.direction;
    const bool receive = d == FrameDirection::Receive;
    std::map<std::uint16_t, std::vector<int>> recordsByRegister;
    std::map<std::uint16_t, std::vector<int>> framesByRegister;
    for (std::size_t i = 0; i < direction.mappings.size(); ++i) {
        const GatewayMapping& m = direction.mappings[i];
        recordsByRegister[m.reg].push_back(static_cast<int>(i) + 1);
        if (!direction.FrameOf(m)) continue;
        auto& frames = framesByRegister[m.reg];
        if (std::find(frames.begin(), frames.end(), m.frame) == frames.end()) frames.push_back(m.frame);
    }
    for (const auto& [reg, records] : recordsByRegister) {
        if (records.size() < 2) continue;
        std::string text = "Register " + std::to_string(reg) + " is in records " + ListText(records);
        if (auto frames = framesByRegister.find(reg); frames != framesByRegister.end() && frames->second.size() > 1) {
            std::sort(frames->second.begin(), frames->second.end());
            text += (receive ? ", fed from frames " : ", feeding frames ") + ListText(frames->second);
        }
        findings.push_back(Finding{d, std::move(text), true});
    }
}

// The data bytes of transmit frame `f` that more than one register half
// feeds; `label` names the frame.
void AddSharedByteFindings(const GatewayDirection& direction, const GatewayFrame& f, const std::string& label,
                           std::vector<Finding>& findings) {
    std::array<std::vector<int>, can::kMaxDataBytes> feeders;
    for (int m : f.mappings) {
        const GatewayMapping& mapping = direction.mappings[static_cast<std::size_t>(m)];
        for (int nibble : {mapping.HighByte(), mapping.LowByte()}) {
            const int at = DataByteWithin(nibble, f.length);
            if (at >= 0) feeders[static_cast<std::size_t>(at)].push_back(m + 1);
        }
    }
    for (std::size_t b = 0; b < feeders.size(); ++b) {
        std::vector<int>& records = feeders[b];
        if (records.size() < 2) continue;
        records.erase(std::unique(records.begin(), records.end()), records.end());
        const std::string text = label + " B" + std::to_string(b + 1) + " is fed by more than one register half (" +
                                 (records.size() == 1 ? "record " : "records ") + ListText(records) + ")";
        findings.push_back(Finding{direction.direction, text});
    }
}

// Frames without a mapping record; transmit frames that are remote requests
// and so carry nothing their records feed, or whose bytes are fed twice.
void AddFrameFindings(const GatewayDirection& direction, std::vector<Finding>& findings) {
    const FrameDirection d = direction.direction;
    const bool receive = d == FrameDirection::Receive;
    auto add = [&](std::string text) { findings.push_back(Finding{d, std::move(text)}); };
    for (std::size_t i = 0; i < direction.frames.size(); ++i) {
        const GatewayFrame& f = direction.frames[i];
        const std::string label = Capitalized(FrameLabel(direction, static_cast<int>(i)));
        if (f.mappings.empty()) {
            add(label + " has no mapping record");
        } else if (!receive && f.remote) {
            findings.push_back(
                Finding{d, label + " is a remote frame: it carries no data, so its mapping records feed nothing", true});
        } else if (!receive) {
            AddSharedByteFindings(direction, f, label, findings);
        }
    }
}

}  // namespace

const GatewayFrame* GatewayDirection::FrameOf(const GatewayMapping& mapping) const {
    if (mapping.frame < 1 || mapping.frame > static_cast<int>(frames.size())) return nullptr;
    return &frames[static_cast<std::size_t>(mapping.frame - 1)];
}

int LookupSelects(std::span<const int> frames) { return frames.back(); }

CanMode GatewayModel::Mode() const { return banks_->mode; }

std::span<const int> GatewayModel::IdIndex::Find(std::uint32_t id) const {
    const auto range = std::equal_range(ids.begin(), ids.end(), id);
    const auto from = static_cast<std::size_t>(range.first - ids.begin());
    return std::span<const int>(frames).subspan(from, static_cast<std::size_t>(range.second - range.first));
}

GatewayModel::GatewayModel(const DecodedBanks& banks, const std::vector<std::string>& receiveMnemonics,
                           const std::vector<std::string>& transmitMnemonics)
    : banks_(std::make_shared<const DecodedBanks>(banks)) {
    receive_.direction = FrameDirection::Receive;
    transmit_.direction = FrameDirection::Transmit;
    auto fill = [](GatewayDirection& direction, const std::vector<DecodedFrame>& frames,
                   const std::vector<DecodedMapping>& mappings, const std::vector<std::string>& mnemonics) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            GatewayFrame& f = direction.frames.emplace_back();
            f.cobId = frames[i].cobId;
            f.length = frames[i].length;
            f.remote = frames[i].remote;
            if (i < mnemonics.size()) f.mnemonic = mnemonics[i];
        }
        for (std::size_t i = 0; i < mappings.size(); ++i) {
            const DecodedMapping& m = mappings[i];
            direction.mappings.push_back(GatewayMapping{m.index, m.nrPdo, m.posComp});
            if (m.nrPdo >= 1 && m.nrPdo <= direction.frames.size())
                direction.frames[m.nrPdo - 1u].mappings.push_back(static_cast<int>(i));
        }
    };
    fill(receive_, banks.receiveFrames, banks.receiveMappings, receiveMnemonics);
    fill(transmit_, banks.transmitFrames, banks.transmitMappings, transmitMnemonics);

    const std::size_t most = std::max(receive_.frames.size(), transmit_.frames.size());
    for (std::size_t i = 0; i < most; ++i) frameIndexes_.push_back(static_cast<int>(i));

    auto index = [](const std::vector<GatewayFrame>& frames) {
        std::vector<std::pair<std::uint32_t, int>> pairs;
        for (std::size_t i = 0; i < frames.size(); ++i) pairs.emplace_back(frames[i].cobId, static_cast<int>(i));
        std::sort(pairs.begin(), pairs.end());
        IdIndex result;
        for (const auto& [id, i] : pairs) {
            result.ids.push_back(id);
            result.frames.push_back(i);
        }
        return result;
    };
    receiveById_ = index(receive_.frames);
    transmitById_ = index(transmit_.frames);

    if (banks_->mode == CanMode::Can20A) {
        lookup20A_.assign(kMaxStandardId + 1, -1);
        for (const std::uint32_t id : receiveById_.ids)
            if (id <= kMaxStandardId && lookup20A_[id] < 0)
                lookup20A_[id] = static_cast<std::int16_t>(LookupSelects(receiveById_.Find(id)));
    }

    for (const GatewayMapping& m : receive_.mappings)
        if (receive_.FrameOf(m)) receiveRegisters_.push_back(m.reg);
    std::sort(receiveRegisters_.begin(), receiveRegisters_.end());
    receiveRegisters_.erase(std::unique(receiveRegisters_.begin(), receiveRegisters_.end()), receiveRegisters_.end());
    std::vector<std::uint16_t> transmitRegisters;
    for (const GatewayMapping& m : transmit_.mappings)
        if (transmit_.FrameOf(m)) transmitRegisters.push_back(m.reg);
    std::sort(transmitRegisters.begin(), transmitRegisters.end());
    std::set_intersection(receiveRegisters_.begin(), receiveRegisters_.end(), transmitRegisters.begin(),
                          transmitRegisters.end(), std::back_inserter(sharedRegisters_));
    sharedRegisters_.erase(std::unique(sharedRegisters_.begin(), sharedRegisters_.end()), sharedRegisters_.end());

    BuildFindings();
}

void GatewayModel::BuildFindings() {
    AddSharedCobIdFindings(receiveById_.ids, receiveById_.frames, banks_->mode, findings_);
    for (std::uint16_t reg : sharedRegisters_)
        findings_.push_back(Finding{FrameDirection::Transmit,
                                    "Register " + std::to_string(reg) + " is also a receive register: " +
                                        std::string(kSharedAddressNote),
                                    true});
    for (const GatewayDirection* direction : {&receive_, &transmit_}) {
        AddRecordFindings(*direction, findings_);
        AddRegisterFindings(*direction, findings_);
        AddFrameFindings(*direction, findings_);
    }
}

ReceiveMatch GatewayModel::MatchReceive(const can::CanFrame& frame) const {
    if (frame.error) return {MatchKind::ErrorFrame, {}};
    if (frame.fd) return {MatchKind::CanFd, {}};
    if (frame.extended != UsesExtendedIds(banks_->mode)) return {MatchKind::WrongFormat, {}};
    if (banks_->mode == CanMode::Can20A) {
        if (frame.id > kMaxStandardId) return {MatchKind::WrongFormat, {}};
        const int index = lookup20A_[frame.id];
        if (index < 0) return {MatchKind::NoFrame, {}};
        return {MatchKind::Frame, std::span<const int>(frameIndexes_).subspan(static_cast<std::size_t>(index), 1)};
    }
    const std::span<const int> frames = receiveById_.Find(frame.id);
    if (frames.empty()) return {MatchKind::NoFrame, {}};
    return {frames.size() == 1 ? MatchKind::Frame : MatchKind::Ambiguous, frames};
}

Result<void> GatewayModel::ReceiveFrameReached(int index) const {
    can::CanFrame probe;
    probe.id = receive_.frames[static_cast<std::size_t>(index)].cobId;
    probe.extended = UsesExtendedIds(banks_->mode);
    const ReceiveMatch match = MatchReceive(probe);
    if (match.kind == MatchKind::Frame && match.frames[0] == index) return {};
    if (match.kind == MatchKind::Frame)
        return Failure{"never receives: the banks select frame " + std::to_string(match.frames[0] + 1) +
                       " for COB-ID " + can::CobIdText(probe.id)};
    if (match.kind == MatchKind::Ambiguous)
        return Failure{"ambiguous: other frames hold COB-ID " + can::CobIdText(probe.id) + " too"};
    return Failure{"never receives: COB-ID " + can::CobIdText(probe.id) + " is not in the banks' lookup"};
}

std::span<const int> GatewayModel::ReceiveFramesWithCobId(std::uint32_t cobId) const {
    return receiveById_.Find(cobId);
}

IdentifierRole GatewayModel::RoleOf(std::uint32_t id, bool extended, bool error, bool fd) const {
    can::CanFrame probe;
    probe.id = id;
    probe.extended = extended;
    probe.error = error;
    probe.fd = fd;
    const ReceiveMatch match = MatchReceive(probe);
    switch (match.kind) {
        case MatchKind::ErrorFrame: return {IdRole::ErrorFrame};
        case MatchKind::CanFd: return {IdRole::CanFd};
        case MatchKind::Frame: return {IdRole::Receive, match.frames[0]};
        case MatchKind::Ambiguous: return {IdRole::Ambiguous};
        case MatchKind::WrongFormat: return {IdRole::WrongFormat};
        case MatchKind::NoFrame: break;
    }
    const std::span<const int> transmit = TransmitFramesWithCobId(id);
    if (!transmit.empty()) return {IdRole::Transmit, transmit[0]};
    return {IdRole::Unknown};
}

can::CanFrame GatewayModel::TransmitCanFrame(int index, const TransmitFrameData& data,
                                       const std::map<std::uint16_t, std::uint16_t>& values) const {
    const GatewayFrame& f = transmit_.frames[static_cast<std::size_t>(index)];
    can::CanFrame frame;
    frame.id = f.cobId;
    frame.extended = UsesExtendedIds(banks_->mode);
    frame.length = static_cast<std::uint8_t>(f.DataBytes());
    for (std::size_t i = 0; i < frame.length; ++i) {
        const TransmitByte& b = data.bytes[i];
        if (b.state == ByteState::Value) {
            frame.data[i] = b.value;
        } else if (b.state == ByteState::Conflict) {
            const ByteSourceRef& last = b.sources.back();
            const auto given = values.find(transmit_.mappings[static_cast<std::size_t>(last.mapping)].reg);
            if (given != values.end())
                frame.data[i] = static_cast<std::uint8_t>(last.high ? given->second >> 8 : given->second & 0xFF);
        }
    }
    return frame;
}

std::span<const int> GatewayModel::TransmitFramesWithCobId(std::uint32_t cobId) const {
    return transmitById_.Find(cobId);
}

void GatewayModel::ReceiveEffects(int index, const can::CanFrame& frame, std::vector<RegisterEffect>& out) const {
    out.clear();
    const GatewayFrame& f = receive_.frames[static_cast<std::size_t>(index)];
    auto half = [&](int nibble) {
        HalfEffect e;
        e.nibble = static_cast<std::uint8_t>(nibble);
        const int byte = DataByteWithin(nibble, f.length);
        if (nibble == kNoDataByte)
            e.source = HalfSource::NotMapped;
        else if (DataByteOfNibble(nibble) < 0)
            e.source = HalfSource::NoSuchByte;
        else if (byte < 0)
            e.source = HalfSource::BeyondDimension;
        else if (frame.remote || byte >= frame.length)
            e.source = HalfSource::NotInData;
        else {
            e.source = HalfSource::Fed;
            e.value = frame.data[static_cast<std::size_t>(byte)];
        }
        return e;
    };
    for (int m : f.mappings) {
        const GatewayMapping& mapping = receive_.mappings[static_cast<std::size_t>(m)];
        out.push_back(RegisterEffect{m, mapping.reg, half(mapping.HighByte()), half(mapping.LowByte())});
    }
}

TransmitFrameData GatewayModel::ComposeTransmit(int index,
                                                const std::map<std::uint16_t, std::uint16_t>& values) const {
    TransmitFrameData data;
    data.frame = index;
    const GatewayFrame& f = transmit_.frames[static_cast<std::size_t>(index)];
    if (f.remote) return data;
    for (int m : f.mappings) {
        const GatewayMapping& mapping = transmit_.mappings[static_cast<std::size_t>(m)];
        const int high = DataByteWithin(mapping.HighByte(), f.length);
        const int low = DataByteWithin(mapping.LowByte(), f.length);
        if (high >= 0) data.bytes[static_cast<std::size_t>(high)].sources.push_back({m, true});
        if (low >= 0) data.bytes[static_cast<std::size_t>(low)].sources.push_back({m, false});
    }
    for (TransmitByte& b : data.bytes) {
        if (b.sources.empty()) continue;
        bool unknown = false;
        std::optional<std::uint8_t> value;
        bool conflict = false;
        for (const ByteSourceRef& source : b.sources) {
            const auto it = values.find(transmit_.mappings[static_cast<std::size_t>(source.mapping)].reg);
            if (it == values.end()) {
                unknown = true;
                continue;
            }
            const auto v = static_cast<std::uint8_t>(source.high ? it->second >> 8 : it->second & 0xFF);
            if (value && *value != v) conflict = true;
            value = v;
        }
        if (conflict) {
            b.state = ByteState::Conflict;
        } else if (unknown) {
            b.state = ByteState::Unknown;
        } else {
            b.state = ByteState::Value;
            b.value = *value;
        }
    }
    return data;
}

std::vector<int> GatewayModel::TransmitFramesFedBy(const std::map<std::uint16_t, std::uint16_t>& values) const {
    std::vector<int> frames;
    for (std::size_t i = 0; i < transmit_.frames.size(); ++i) {
        for (int m : transmit_.frames[i].mappings) {
            if (values.count(transmit_.mappings[static_cast<std::size_t>(m)].reg)) {
                frames.push_back(static_cast<int>(i));
                break;
            }
        }
    }
    return frames;
}

}  // namespace vestrel::gateway

#include "gateway/model_wording.h"

#include "inspect/bank_decoder.h"
#include "platform/printable_text.h"
#include "platform/text.h"

namespace vestrel::gateway {

namespace {

void AppendHalf(std::string& out, bool known, unsigned bits, char unknown) {
    if (known) {
        out += UpperHexDigit((bits >> 4) & 0xF);
        out += UpperHexDigit(bits & 0xF);
    } else {
        out += unknown;
        out += unknown;
    }
}

}  // namespace

std::string MnemonicSuffix(const std::string& mnemonic) {
    return mnemonic.empty() ? std::string() : " \"" + PrintableText(mnemonic, LineBreaks::OneLine) + "\"";
}

std::string FrameName(FrameDirection direction, const GatewayFrame& frame, int index, FrameNameParts parts) {
    std::string name;
    if (parts.direction) name = direction == FrameDirection::Receive ? "receive " : "transmit ";
    name += "frame " + std::to_string(index + 1);
    if (parts.mnemonic) name += MnemonicSuffix(frame.mnemonic);
    if (parts.cobId || parts.dimensin) {
        name += " (";
        if (parts.cobId) name += "COB-ID " + can::CobIdText(frame.cobId);
        if (parts.cobId && parts.dimensin) name += ", ";
        if (parts.dimensin) name += "Dimensin " + std::to_string(frame.length);
        name += ')';
    }
    return name;
}

std::string ModeText(const GatewayModel& model) {
    return "CANType " + std::to_string(model.Banks().canType) + " (" + std::string(CanModeText(model.Mode())) + ")";
}

char* WriteRegisterValueText(char* out, const RegisterValue& value) {
    *out++ = '0';
    *out++ = 'x';
    const auto half = [&](bool known, unsigned bits) {
        *out++ = known ? UpperHexDigit((bits >> 4) & 0xF) : '?';
        *out++ = known ? UpperHexDigit(bits & 0xF) : '?';
    };
    half(value.highKnown, value.bits >> 8);
    half(value.lowKnown, value.bits & 0xFF);
    return out;
}

void AppendRegisterValueText(std::string& out, const RegisterValue& value) {
    char text[kRegisterValueTextBytes];
    out.append(text, static_cast<std::size_t>(WriteRegisterValueText(text, value) - text));
}

std::string RegisterValueText(const RegisterValue& value) {
    std::string text;
    AppendRegisterValueText(text, value);
    return text;
}

std::string RegisterValueText(std::uint16_t value) { return RegisterValueText(RegisterValue{value, true, true}); }

std::string EffectValueText(const RegisterEffect& effect) {
    std::string text = "0x";
    AppendHalf(text, effect.high.source == HalfSource::Fed, effect.high.value, '-');
    AppendHalf(text, effect.low.source == HalfSource::Fed, effect.low.value, '-');
    return text;
}

std::string LookupSelectionText(int frameNumber, std::size_t count) {
    return "the banks' lookup table selects frame " + std::to_string(frameNumber) + ", the " +
           (count == 2 ? "later" : "last") + " one";
}

std::string TransmitBytesText(const TransmitFrameData& data, int count) {
    std::string text;
    for (int i = 0; i < count && i < can::kMaxDataBytes; ++i) {
        if (i > 0) text += ' ';
        const TransmitByte& b = data.bytes[static_cast<std::size_t>(i)];
        switch (b.state) {
            case ByteState::NotFed: text += "--"; break;
            case ByteState::Unknown: text += "??"; break;
            case ByteState::Conflict: text += "!!"; break;
            case ByteState::Value: AppendHalf(text, true, b.value, '?'); break;
        }
    }
    return text;
}

}  // namespace vestrel::gateway

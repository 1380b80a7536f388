#include "gateway/model_examples.h"

#include <algorithm>
#include <vector>

namespace vestrel::gateway {

std::string ExampleFramesText(const GatewayModel& model, int count) {
    static constexpr std::uint8_t kBytes[can::kMaxDataBytes] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    std::string text;
    const auto& frames = model.Receive().frames;
    for (std::size_t i = 0; i < frames.size() && static_cast<int>(i) < count; ++i) {
        can::CanFrame frame;
        frame.id = frames[i].cobId;
        frame.extended = UsesExtendedIds(model.Mode());
        frame.length = static_cast<std::uint8_t>(std::min(frames[i].length, can::kMaxDataBytes));
        for (int b = 0; b < frame.length; ++b) frame.data[static_cast<std::size_t>(b)] = kBytes[b];
        if (!text.empty()) text += ' ';
        text += can::CompactFrameText(frame);
    }
    return text;
}

std::string ExampleRegisterValuesText(const GatewayModel& model) {
    static constexpr const char* kValues[] = {"0x1234", "7"};
    std::vector<std::uint16_t> registers;
    const GatewayDirection& transmit = model.Transmit();
    for (const GatewayFrame& frame : transmit.frames) {
        if (frame.mappings.empty() || registers.size() == std::size(kValues)) continue;
        const std::uint16_t reg = transmit.mappings[static_cast<std::size_t>(frame.mappings.front())].reg;
        if (std::find(registers.begin(), registers.end(), reg) == registers.end()) registers.push_back(reg);
    }
    std::string text;
    for (std::size_t i = 0; i < registers.size(); ++i)
        text += (i ? "," : "") + std::to_string(registers[i]) + "=" + kValues[i];
    return text;
}

}  // namespace vestrel::gateway

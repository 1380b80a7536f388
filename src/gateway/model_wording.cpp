#include "gateway/model_wording.h"

#include "platform/printable_text.h"

namespace vestrel::gateway {

std::string MnemonicSuffix(const std::string& mnemonic) {
    return mnemonic.empty() ? std::string() : " \"" + PrintableText(mnemonic, LineBreaks::OneLine) + "\"";
}

std::string ModeText(const GatewayModel& model) {
    return "CANType " + std::to_string(model.Banks().canType) +
           (model.Mode() == CanMode::Can20A ? " (CAN 2.0A, 11-bit COB-IDs)" : " (CAN 2.0B, 29-bit COB-IDs)");
}

}  // namespace vestrel::gateway

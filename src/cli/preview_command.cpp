// preview: the registers that frames set, the frames that register values give.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/model_notes.h"
#include "gateway/preview.h"
#include "platform/printable_text.h"

#include <ostream>

namespace vestrel {

int PreviewCommand(const std::vector<std::string>& args, CliContext& cli) {
    using namespace gateway;
    const Arguments a(args, CliCommand("preview"));
    const auto registers = a.Value("registers");
    a.ExpectAtLeast(registers ? 1 : 2);

    std::vector<std::pair<std::string, CanFrame>> frames;
    for (std::size_t i = 1; i < a.Operands().size(); ++i)
        for (const TypedFrame& typed : ReadTypedFrames(a.Operands()[i])) {
            if (!typed.frame) throw UsageError{"'" + typed.text + "' is not a frame: " + typed.why};
            frames.emplace_back(typed.text, *typed.frame);
        }
    RegisterValues values;
    if (registers) {
        std::string why;
        auto parsed = ParseRegisterValues(*registers, why);
        if (!parsed) throw UsageError{why};
        values = std::move(*parsed);
    }

    const ProjectModel loaded = LoadModel(a.Operands()[0]);
    SayModelNotes(loaded, false, cli);
    for (const auto& [text, frame] : frames) cli.out << PreviewFrameText(loaded.model, text, frame);
    if (registers) cli.out << PreviewTransmitText(loaded.model, values);
    return kExitOk;
}

}  // namespace vestrel

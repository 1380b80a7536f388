// preview: the registers that frames set, the frames that register values give.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "gateway/preview.h"
#include "platform/printable_text.h"

#include <ostream>

namespace vestrel {

int PreviewCommand(const std::vector<std::string>& args, CliContext& cli) {
    using namespace gateway;
    const Arguments a(args, CliCommand("preview"));
    const auto registers = a.Value("registers");
    const auto typedSignals = a.Value("signals");
    const bool transmit = registers || typedSignals;
    a.ExpectAtLeast(transmit ? 1 : 2);

    std::vector<std::pair<std::string, can::CanFrame>> frames;
    for (std::size_t i = 1; i < a.Operands().size(); ++i)
        for (const TypedFrame& typed : ReadTypedFrames(a.Operands()[i])) {
            if (!typed.frame) throw UsageError{"'" + typed.text + "' is not a frame: " + typed.frame.Why()};
            frames.emplace_back(typed.text, *typed.frame);
        }
    RegisterValues values;
    if (registers) {
        auto parsed = ParseRegisterValues(*registers);
        if (!parsed) throw UsageError{parsed.Why()};
        values = std::move(*parsed);
    }
    std::vector<NamedValue> assignments;
    if (typedSignals) {
        auto parsed = ParseNamedValues(*typedSignals);
        if (!parsed) throw UsageError{parsed.Why()};
        assignments = std::move(*parsed);
    }

    const ProjectModel loaded = LoadModel(a.Operands()[0]);
    SayModelNotes(loaded, false, cli);
    const SignalValues signalValues = LoadSignalsOf(loaded, a.Operands()[0], cli);
    if (typedSignals) {
        if (signalValues.Empty()) throw Error("--signals needs a project with imported signals (signals.xml)");
        std::vector<std::string> warnings;
        ApplySignalAssignments(signalValues, assignments, values, warnings);
        for (const std::string& warning : warnings) cli.Say("warning: " + warning);
    }
    const SignalValues* shown = signalValues.Empty() ? nullptr : &signalValues;
    for (const auto& [text, frame] : frames) cli.out << PreviewFrameText(loaded.model, text, frame, shown);
    if (transmit) cli.out << PreviewTransmitText(loaded.model, values, shown);
    return kExitOk;
}

}  // namespace vestrel

// preview: the registers that frames set, the frames that register values give.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "gateway/preview.h"
#include "platform/printable_text.h"

#include <ostream>

namespace vestrel {

int PreviewCommand(const Arguments& a, CliContext& cli) {
    using namespace gateway;
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
    if (typedSignals)
        if (const auto parsed = signaldb::ParseSignalValues(*typedSignals); !parsed) throw UsageError{parsed.Why()};
    if (registers)
        if (const auto parsed = ParseRegisterValues(*registers); !parsed) throw UsageError{parsed.Why()};

    const ProjectModel loaded = LoadModel(a.Operands()[0]);
    SayModelNotes(loaded, false, cli);
    const SignalValues signalValues = LoadSignalsOf(loaded, a.Operands()[0], cli);
    if (typedSignals && signalValues.Empty()) throw Error("--signals needs a project with imported signals (signals.xml)");
    std::vector<std::string> warnings;
    const Result<RegisterValues> typed = TypedTransmitValues(registers.value_or(""), typedSignals.value_or(""),
                                                             &signalValues, warnings);
    if (!typed) throw Error(typed.Why());
    const RegisterValues values = *typed;
    for (const std::string& warning : warnings) cli.Say("warning: " + warning);
    const SignalValues* shown = signalValues.Empty() ? nullptr : &signalValues;
    for (const auto& [text, frame] : frames) cli.out << PreviewFrameText(loaded.model, text, frame, shown);
    if (typedSignals) {
        const auto given = TypedTransmitValues(registers.value_or(""), "", nullptr, warnings);
        if (const std::string set = SignalRegistersText(given ? *given : RegisterValues{}, values); !set.empty())
            cli.out << PrintableText(set, LineBreaks::OneLine) << '\n';
    }
    if (transmit) cli.out << PreviewTransmitText(loaded.model, values, shown);
    return kExitOk;
}

}  // namespace vestrel

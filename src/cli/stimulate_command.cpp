// stimulate: a project's receive frames on the bus with values that change,
// the traffic a bench needs when the device's sender is not there.
#include "cli/bench_support.h"
#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "live/stimulus.h"
#include "platform/printable_text.h"
#include "platform/text.h"

#include <ostream>

namespace vestrel {

namespace {

// "3.000 s: 181#0001010102010301 281#04010501 381#0601"
void PrintChange(std::ostream& out, std::int64_t at, const std::vector<can::CanFrame>& frames) {
    std::string line = std::to_string(at / 1'000'000) + ".";
    const std::string millis = std::to_string(at / 1000 % 1000);
    line += std::string(3 - millis.size(), '0') + millis + " s:";
    for (const can::CanFrame& frame : frames) line += " " + can::CompactFrameText(frame);
    out << line << std::endl;
}

}  // namespace

int StimulateCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const auto canText = a.Value("can");
    if (!canText) throw a.Usage();
    const auto can = live::ParseCanInterface(*canText);
    if (!can) throw UsageError{can.Why()};
    const long every = NumberOption(a, "every", 1, 3'600'000);
    const long holdGiven = NumberOption(a, "hold", 1, 1'000'000'000);
    const long seed = NumberOption(a, "seed", 0, 2'147'483'647);
    const std::string patternText = a.Value("pattern").value_or("count");
    const auto pattern = live::ParseStimulusPattern(patternText);
    if (!pattern) throw UsageError{"--pattern is count, ramp or random, not '" + patternText + "'"};
    const std::int64_t hold = holdGiven > 0 ? holdGiven : live::DefaultHoldPeriods(every);

    const std::string& dir = a.Operands()[0];
    const gateway::ProjectModel loaded = gateway::LoadModel(dir);
    SayModelNotes(loaded, false, cli);
    const gateway::SignalValues signalValues = LoadSignalsOf(loaded, dir, cli);
    const live::Stimulus stimulus(loaded.model, &signalValues, *pattern, static_cast<std::uint64_t>(seed));
    for (const std::string& line : stimulus.LeftOut()) cli.Say("note: " + line);
    if (stimulus.Sent().empty()) throw Error("The project " + dir + " has no receive frame to send");
    live::StimulusFrames source(stimulus, static_cast<std::int64_t>(every) * 1000, static_cast<std::uint64_t>(hold));
    const int bitRate = live::BenchSettingsOf(loaded.model.Banks()).canBitRate;

    CommandEventLoop app;
    cli.out << "Stimulating " << PrintableText(dir, LineBreaks::OneLine) << " on "
            << PrintableText(can->Text(), LineBreaks::OneLine) << ": "
            << Plural(stimulus.Sent().size(), "receive frame", "receive frames")
            << " every " << every << " ms, pattern " << live::StimulusPatternName(*pattern);
    if (*pattern == live::StimulusPattern::Random) cli.out << " (seed " << seed << ")";
    cli.out << "; each value held for " << Plural(hold, "period", "periods") << " ("
            << hold * every << " ms" << (holdGiven > 0 ? "" : ", long enough for verify's read and its second read")
            << "). Running until interrupted (Ctrl+C)." << std::endl;
    const SendOutcome outcome = RunSend(source, *can, bitRate, cli, [&](const live::TimedSend& sent) {
        if (source.NewValues()) PrintChange(cli.out, sent.at, stimulus.FramesAt(sent.period / hold));
    });
    cli.out << SendSummary(outcome) << std::endl;
    return kExitOk;
}

}  // namespace vestrel

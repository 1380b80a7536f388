// verify: a gateway on the bench, expected against read, headless.
#include "cli/bench_support.h"
#include "cli/model_notes.h"
#include "gateway/preview.h"
#include "live/qt/bench_verify.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "platform/text.h"

#include <memory>
#include <ostream>

namespace vestrel {

namespace {

void PrintSetup(const live::VerifyOptions& o, const std::string& source, CliContext& cli) {
    cli.out << "Verify " << PrintableText(source, LineBreaks::OneLine) << " on the bench\n";
    cli.out << "CAN: " << PrintableText(o.can.Text(), LineBreaks::OneLine);
    if (o.canBitRate > 0) cli.out << ", " << live::CanBitRateText(o.canBitRate) << " (the project's rate)";
    cli.out << "\nModbus RTU: " << PrintableText(o.port, LineBreaks::OneLine) << ", "
            << live::SerialSettingsText(o.serial) << ", device address " << o.deviceAddress << ", function "
            << (o.function == live::ReadFunction::HoldingRegisters ? "03" : "04") << ", time-out " << o.timeOutMs
            << " ms\n";
}

}  // namespace

int VerifyCommand(const Arguments& a, CliContext& cli) {
    const long function = NumberOption(a, "function", 3, 4);
    const long seconds = NumberOption(a, "seconds", 0, 86400);
    const long frames = NumberOption(a, "frames", 1, 1'000'000'000);
    const long frameWait = NumberOption(a, "frame-wait", 1, 600'000);
    const long timeOut = NumberOption(a, "timeout", 1, 600'000);
    gateway::RegisterValues writes;
    if (auto list = a.Value("write")) {
        auto parsed = gateway::ParseRegisterValues(*list);
        if (!parsed) throw UsageError{parsed.Why()};
        writes = std::move(*parsed);
    }
    BenchSetup setup = ReadBenchSetup(a, cli);

    live::VerifyOptions o;
    o.can = setup.can;
    o.canBitRate = setup.settings.canBitRate;
    o.port = setup.port;
    o.serial = setup.settings.serial;
    o.deviceAddress = setup.settings.deviceAddress;
    o.function = function == 3 ? live::ReadFunction::HoldingRegisters : live::ReadFunction::InputRegisters;
    o.indexNumbering = setup.indexNumbering;
    o.listenMs = static_cast<int>(seconds * 1000);
    o.frameLimit = static_cast<std::uint64_t>(frames);
    o.timeOutMs = static_cast<int>(timeOut);
    o.frameWaitMs = static_cast<int>(frameWait);
    o.writes = writes;
    PrintSetup(o, a.Operands()[0], cli);
    const gateway::SignalValues meanings = LoadSignalsOf(setup.loaded, a.Operands()[0], cli);
    for (const std::string& partial : gateway::PartialSignalWrites(meanings, writes)) cli.Say("warning: " + partial);

    CommandEventLoop loop;
    const auto loaded = std::make_shared<const gateway::ProjectModel>(std::move(setup.loaded));
    live::VerifyRun run(loaded, o, cli.atVerifyStep);
    Result<live::VerifyResult> verified = run.Run();
    for (const std::string& note : run.Notes()) cli.Say("note: " + note);
    if (!verified) throw Error(verified.Why());
    live::VerifyResult& result = *verified;

    cli.out << "Listened to the bus: " << Plural(result.frames, "frame", "frames");
    if (result.fdFrames > 0)
        cli.out << "; " << gateway::kCanFdNotFed << ": " << Plural(result.fdFrames, "frame", "frames");
    cli.out << '\n';
    // Error texts come from the port and the plugins: escaped like everything else.
    auto print = [&](const std::vector<std::string>& lines) {
        for (const std::string& line : lines) cli.out << PrintableText(line, LineBreaks::OneLine) << '\n';
    };
    const std::span<const std::uint16_t> shared = loaded->model.SharedRegisters();
    print(live::ReceiveLines(result.checks, o.indexNumbering, o.function, meanings.Empty() ? nullptr : &meanings,
                             shared));
    print(live::WriteLines(result.writes, o.frameWaitMs, shared));
    const live::VerifyTally tally = live::Tally(result.checks, result.writes);
    print(live::SummaryLines(tally, a.Has("strict")));
    cli.out.flush();
    return live::Passed(tally, a.Has("strict")) ? kExitOk : kExitFailed;
}

}  // namespace vestrel

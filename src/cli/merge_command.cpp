// merge, and the merge run that update shares.
#include "cli/merge_run.h"

#include "cli/progress_bar.h"
#include "platform/output_file.h"
#include "platform/printable_text.h"

#include <ostream>
#include <sstream>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

// Merge messages go to stderr, after the progress line they interrupt.
class StderrMessages : public MessageSink {
public:
    StderrMessages(CliContext& cli, TerminalProgressBar& bar) : cli_(cli), bar_(bar) {}
    void Show(const std::string& text) override {
        bar_.Finish();
        cli_.Say(text);
    }

private:
    CliContext& cli_;
    TerminalProgressBar& bar_;
};

std::array<bool, 5> ParseBanks(const std::string& list) {
    std::array<bool, 5> selection{};
    std::stringstream in(list);
    std::string item;
    bool any = false;
    while (std::getline(in, item, ',')) {
        if (item.size() != 1 || item[0] < '1' || item[0] > '5')
            throw UsageError{"--banks takes bank numbers 1 to 5 separated by commas, not '" + list + "'"};
        const auto bank = static_cast<std::size_t>(item[0] - '1');
        if (selection[bank]) throw UsageError{"bank " + item + " is named twice in --banks"};
        selection[bank] = true;
        any = true;
    }
    if (!any || list.back() == ',') throw UsageError{"--banks takes bank numbers 1 to 5 separated by commas"};
    return selection;
}

}  // namespace

FolderLocks::Wait WaitPolicy(const Arguments& arguments) {
    return arguments.Has("no-wait") ? FolderLocks::Wait::No : FolderLocks::Wait::Yes;
}

std::function<void(const fs::path&)> WaitNotice(CliContext& cli) {
    return [&cli](const fs::path& folder) {
        cli.Say("waiting for another run in \"" + folder.string() + "\" to finish");
    };
}

std::vector<fs::path> OutputLocks(std::vector<fs::path> folders, const std::vector<fs::path>& outputs,
                                  const std::vector<fs::path>& inputs) {
    for (const fs::path& output : outputs) RequireNotAnInput(output, inputs);
    return FoldersToLock(std::move(folders), outputs);
}

std::string ImageWhere(const fs::path& image) {
    const fs::path target = OutputTarget(image);
    return image.string() + (target == image ? "" : " (a link to " + target.string() + ")");
}

int RunMerge(BankMergeInputs inputs, CliContext& cli) {
    TerminalProgressBar bar(cli.err, cli.terminal);
    bar.SetLabel("Merging");
    StderrMessages messages(cli, bar);
    inputs.atStep = cli.atMergeStep;
    const BankMergeRun run = RunBankMerge(inputs, messages, bar);
    bar.Finish();
    if (run.Complete(inputs.bankSelection)) return kExitOk;
    const std::string why = ExplainMergeRun(run, inputs);
    if (!why.empty()) cli.Say(why);
    return kExitFailed;
}

int MergeCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(3);
    BankMergeInputs inputs;
    inputs.baseFirmware = a.Operands()[0];
    inputs.dirBin = a.Operands()[1];
    const fs::path outImage = a.Operands()[2];
    inputs.dirOut = outImage.parent_path().empty() ? fs::path(".") : outImage.parent_path();
    inputs.newFileName = outImage.filename().string();
    if (auto banks = a.Value("banks")) inputs.bankSelection = ParseBanks(*banks);
    // The merge refuses an image over one of its inputs with its own message.
    FolderLocks locks(OutputLocks({inputs.dirBin, inputs.dirOut}, {outImage}, {}), WaitPolicy(a), WaitNotice(cli));
    const int status = RunMerge(inputs, cli);
    if (status == kExitOk && cli.terminal) cli.Done("Wrote " + ImageWhere(inputs.NewImage()));
    return status;
}

}  // namespace vestrel

#include "cli/cli.h"

#include "cli/progress_bar.h"
#include "compiler/bank_files.h"
#include "firmware/bank_merge.h"
#include "inspect/bank_decoder.h"
#include "inspect/bank_source.h"
#include "inspect/project_check.h"
#include "platform/error.h"
#include "platform/file_util.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vestrel-cli build PROJECT_DIR\n"
    "      Compile the project into PROJECT_DIR/bin: bank1.bin to bank5.bin and bankg.c.\n"
    "  vestrel-cli merge BASE_IMAGE BIN_DIR OUT_IMAGE [--banks 1,2]\n"
    "      Splice the selected banks (default 1 and 2) of BIN_DIR into the S-record\n"
    "      image BASE_IMAGE and write OUT_IMAGE.\n"
    "  vestrel-cli update PROJECT_DIR BASE_IMAGE\n"
    "      Build, then merge banks 1 and 2 into PROJECT_DIR/New_<name of BASE_IMAGE>.\n"
    "  vestrel-cli check PROJECT_DIR\n"
    "      List what stops the project from compiling (errors) and what compiles but is\n"
    "      probably not meant (warnings), one a line on stdout, errors first. Exit\n"
    "      status 1 when there is an error.\n"
    "  vestrel-cli decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR]\n"
    "      Read banks 1 and 2 back from an S-record image or from BIN_DIR/bank1.bin and\n"
    "      bank2.bin and print what they configure. With --out, write a project that\n"
    "      compiles back to the same banks into PROJECT_DIR, which must hold no project\n"
    "      files yet. What the banks do not keep is said on stderr.\n"
    "  vestrel-cli --help | --version\n"
    "\n"
    "Exit status: 0 when everything asked for was done; 1 when it was not (the reason\n"
    "is printed on stderr); 2 for a command line that was not understood.\n"
    "SOURCE_DATE_EPOCH, when set, gives the compile stamp instead of the clock.\n";

struct UsageError {
    std::string text;
};

// Merge messages go to stderr, after the progress line they interrupt.
class StderrMessages : public MessageSink {
public:
    StderrMessages(std::ostream& err, TerminalProgressBar& bar) : err_(err), bar_(bar) {}
    void Show(const std::string& text) override {
        bar_.Finish();
        err_ << "vestrel-cli: " << text << '\n';
        shown = true;
    }
    bool shown = false;

private:
    std::ostream& err_;
    TerminalProgressBar& bar_;
};

std::string WithTrailingSeparator(std::string dir) {
    if (dir.empty() || dir.back() != kPathSeparator) dir += kPathSeparator;
    return dir;
}

std::array<bool, 5> ParseBanks(const std::string& list) {
    std::array<bool, 5> selection{};
    std::stringstream in(list);
    std::string item;
    bool any = false;
    while (std::getline(in, item, ',')) {
        if (item.size() != 1 || item[0] < '1' || item[0] > '5')
            throw UsageError{"--banks takes bank numbers 1 to 5 separated by commas, not '" + list + "'"};
        int bank = item[0] - '1';
        if (selection[static_cast<std::size_t>(bank)]) throw UsageError{"bank " + item + " is named twice in --banks"};
        selection[static_cast<std::size_t>(bank)] = true;
        any = true;
    }
    if (!any || list.back() == ',') throw UsageError{"--banks takes bank numbers 1 to 5 separated by commas"};
    return selection;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", value);
    return text;
}

int Merge(const BankMergeInputs& inputs, std::ostream& err, bool terminal) {
    TerminalProgressBar bar(err, terminal);
    bar.SetLabel("Merging");
    StderrMessages messages(err, bar);
    BankMergeRun run = RunBankMerge(inputs, messages, bar);
    bar.Finish();
    if (run.Complete(inputs.bankSelection)) {
        if (terminal) err << "Wrote " << inputs.dirOut << inputs.newFileName << '\n';
        return kExitOk;
    }
    for (const BankRange& bank : kBankTable) {
        const auto& result = run.results[static_cast<std::size_t>(bank.number - 1)];
        if (result && *result == BankMergeResult::NotFound)
            err << "vestrel-cli: bank " << bank.number << ": the address range " << Hex(bank.first) << "-"
                << Hex(bank.last) << " is not in the base image\n";
    }
    if (!messages.shown && run.stopped) err << "vestrel-cli: the merge stopped before the image was complete\n";
    return kExitFailed;
}

void RequireProjectFolder(const fs::path& projectDir) {
    if (!DirectoryExists(projectDir)) throw Error("Project folder \"" + projectDir.string() + "\" not found");
}

int Check(const fs::path& projectDir, std::ostream& out) {
    RequireProjectFolder(projectDir);
    const std::vector<Problem> problems = CheckProject(projectDir);
    for (const Problem& problem : problems) out << FormatProblem(problem) << '\n';
    return HasErrors(problems) ? kExitFailed : kExitOk;
}

int Decode(const fs::path& source, const std::optional<std::string>& outDir, std::ostream& out, std::ostream& err,
           bool terminal) {
    auto banks = std::make_unique<BankImages>();
    if (DirectoryExists(source))
        ReadBanksFromBinDir(source, *banks);
    else
        ReadBanksFromImage(source, *banks);
    const DecodedBanks decoded = DecodeBanks(*banks);
    // The project is compiled and compared before it is shown or written, so
    // that nothing leaves this command that does not give the same banks.
    VerifyDecodedProject(decoded, *banks);
    if (outDir) WriteDecodedProject(*outDir, decoded);
    out << DescribeDecodedBanks(decoded);
    for (const std::string& note : DecodeNotes(decoded)) err << "vestrel-cli: note: " << note << '\n';
    if (outDir && terminal) err << "Wrote the project to " << *outDir << '\n';
    return kExitOk;
}

int Build(const fs::path& projectDir, std::ostream& err, bool terminal) {
    RequireProjectFolder(projectDir);
    BankCompiler compiler;
    CompileProject(compiler, projectDir);
    if (terminal) err << "Wrote the banks and bankg.c to " << BankDir(projectDir).string() << '\n';
    return kExitOk;
}

BankMergeInputs MergeInputs(const fs::path& base, const fs::path& binDir, const fs::path& outImage) {
    BankMergeInputs inputs;
    inputs.baseFirmware = base;
    inputs.dirBin = WithTrailingSeparator(binDir.string());
    fs::path outDir = outImage.parent_path();
    inputs.dirOut = WithTrailingSeparator(outDir.empty() ? std::string(".") : outDir.string());
    inputs.newFileName = outImage.filename().string();
    return inputs;
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
    if (args.empty()) throw UsageError{"a command is needed"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        out << "vestrel-cli " << VESTREL_VERSION << '\n';
        return kExitOk;
    }

    std::vector<std::string> positional;
    std::optional<std::string> banks;
    std::optional<std::string> outDir;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--banks") {
            if (i + 1 >= args.size()) throw UsageError{"--banks needs a list such as 1,2"};
            banks = args[++i];
        } else if (args[i].rfind("--banks=", 0) == 0) {
            banks = args[i].substr(8);
        } else if (args[i] == "--out") {
            if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{"--out needs a project folder"};
            outDir = args[++i];
        } else if (args[i].rfind("--out=", 0) == 0) {
            outDir = args[i].substr(6);
            if (outDir->empty()) throw UsageError{"--out needs a project folder"};
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            throw UsageError{"unknown option '" + args[i] + "'"};
        } else {
            positional.push_back(args[i]);
        }
    }
    if (banks && command != "merge") throw UsageError{"--banks belongs to the merge command"};
    if (outDir && command != "decode") throw UsageError{"--out belongs to the decode command"};

    auto expect = [&](std::size_t count, const char* form) {
        if (positional.size() != count) throw UsageError{std::string("usage: vestrel-cli ") + form};
    };

    if (command == "build") {
        expect(1, "build PROJECT_DIR");
        return Build(positional[0], err, terminal);
    }
    if (command == "merge") {
        expect(3, "merge BASE_IMAGE BIN_DIR OUT_IMAGE [--banks 1,2]");
        BankMergeInputs inputs = MergeInputs(positional[0], positional[1], positional[2]);
        if (banks) inputs.bankSelection = ParseBanks(*banks);
        return Merge(inputs, err, terminal);
    }
    if (command == "update") {
        expect(2, "update PROJECT_DIR BASE_IMAGE");
        fs::path projectDir = positional[0];
        fs::path base = positional[1];
        if (!FileExists(base)) throw Error("File " + base.string() + " not found");
        if (int status = Build(projectDir, err, terminal); status != kExitOk) return status;
        return Merge(MergeInputs(base, BankDir(projectDir), projectDir / ("New_" + base.filename().string())), err,
                     terminal);
    }
    if (command == "check") {
        expect(1, "check PROJECT_DIR");
        return Check(positional[0], out);
    }
    if (command == "decode") {
        expect(1, "decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR]");
        return Decode(positional[0], outDir, out, err, terminal);
    }
    throw UsageError{"unknown command '" + command + "'"};
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
    try {
        return Dispatch(args, out, err, terminal);
    } catch (const UsageError& e) {
        err << "vestrel-cli: " << e.text << "\nTry 'vestrel-cli --help'.\n";
        return kExitUsage;
    } catch (const Error& e) {
        err << "vestrel-cli: " << e.what() << '\n';
        return kExitFailed;
    } catch (const std::exception& e) {
        err << "vestrel-cli: " << e.what() << '\n';
        return kExitFailed;
    }
}

}  // namespace vestrel

// diff: what changes between two configurations, one change a line.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"

#include "compare/diff_document.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"

#include <exception>
#include <ostream>

namespace vestrel {

namespace {

namespace fs = std::filesystem;

// diff exits as diff(1) does: 0 the same, 1 different, 2 trouble.
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;

compare::DiffFormat FormatOf(const Arguments& a) {
    const std::string name = a.Value("format").value_or("text");
    if (name == "text") return compare::DiffFormat::Text;
    if (name == "md") return compare::DiffFormat::Markdown;
    if (name == "html") return compare::DiffFormat::Html;
    throw UsageError{"--format takes text, md or html, not '" + name + "'"};
}

}  // namespace

int DiffCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(2);
    const compare::DiffFormat format = FormatOf(a);
    const fs::path oldSource = a.Operands()[0];
    const fs::path newSource = a.Operands()[1];
    const char* side = "old";
    try {
        const compare::ComparedSide old = compare::LoadSide(oldSource);
        side = "new";
        const compare::ComparedSide now = compare::LoadSide(newSource);
        side = nullptr;
        const compare::Comparison comparison = compare::CompareSides(old, now, {.stamps = a.Has("stamps")});
        const compare::SideNames names{a.Value("old-label").value_or(oldSource.string()),
                                       a.Value("new-label").value_or(newSource.string())};
        const std::string text = compare::DiffDocument(old, now, comparison, format, names);
        if (auto file = a.Value("out")) {
            std::vector<fs::path> read = compare::SideFiles(oldSource);
            for (const fs::path& p : compare::SideFiles(newSource)) read.push_back(p);
            FolderLocks locks(OutputLocks({}, {*file}, read), FolderLocks::Wait::Yes, WaitNotice(cli));
            WriteFileAtomic(*file, text);
        } else {
            cli.out << text;
        }
        return comparison.changes.empty() ? kExitOk : kExitDifferent;
    } catch (const std::exception& e) {
        // Which side could not be read, when two projects give the same file names.
        cli.Say(side ? std::string(side) + ": " + e.what() : std::string(e.what()));
        return kExitTrouble;
    }
}

}  // namespace vestrel

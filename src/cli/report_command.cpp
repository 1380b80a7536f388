// report: the register map as HTML, CSV or Markdown.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"
#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "gateway/register_report.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"

#include <ostream>

namespace vestrel {

int ReportCommand(const Arguments& a, CliContext& cli) {
    using namespace gateway;
    a.ExpectOperands(1);
    ReportFormat format = ReportFormat::Html;
    if (auto name = a.Value("format")) {
        if (*name == "csv")
            format = ReportFormat::Csv;
        else if (*name == "md")
            format = ReportFormat::Markdown;
        else if (*name != "html")
            throw UsageError{"--format takes html, csv or md, not '" + *name + "'"};
    }
    const std::filesystem::path source = a.Operands()[0];
    const ProjectModel loaded = LoadModel(source);
    ReportInput input;
    input.model = &loaded.model;
    input.problems = loaded.problems;
    input.fromProject = loaded.fromProject;
    const SignalValues signalValues = LoadSignalsOf(loaded, source, cli);
    input.signalValues = signalValues.Empty() ? nullptr : &signalValues;
    const std::filesystem::path named = std::filesystem::absolute(source).lexically_normal();
    input.sourceName = (named.has_filename() ? named : named.parent_path()).filename().string();
    const std::string text = RegisterMap(input, format);
    if (auto file = a.Value("out")) {
        FolderLocks locks(OutputLocks({}, {*file}, SourceFiles(source)), FolderLocks::Wait::Yes, WaitNotice(cli));
        WriteFileAtomic(*file, text);
    } else {
        cli.out << text;
    }
    return 0;
}

}  // namespace vestrel

// plot: a CAN log's signals and registers as charts, into an SVG or HTML file.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"
#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"
#include "platform/text.h"
#include "plot/log_plot.h"
#include "plot/plot_svg.h"

#include <charconv>
#include <cmath>

namespace vestrel {

namespace {

using namespace gateway;

enum class PlotFile { Html, Svg };

PlotFile FileKind(const std::string& file) {
    std::string extension = std::filesystem::path(file).extension().string();
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == ".html" || extension == ".htm") return PlotFile::Html;
    if (extension == ".svg") return PlotFile::Svg;
    throw UsageError{"--out needs a file name ending in .html or .svg, not '" + file + "'"};
}

// --from and --to: seconds after the log's first frame, in microseconds.
std::optional<std::int64_t> SecondsOption(const Arguments& a, const std::string& name) {
    const std::optional<std::string> text = a.Value(name);
    if (!text) return std::nullopt;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (ec != std::errc() || end != text->data() + text->size() || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 1e9)
        throw UsageError{"--" + name + " needs a number of seconds after the log's first frame, such as 1.5, not '" +
                         *text + "'"};
    return std::llround(seconds * 1e6);
}

// The charts asked for, or the default ones.
std::vector<plot::ChartSource> ChosenSources(const Arguments& a, const GatewayModel& model,
                                             const SignalValues* signalValues, bool& chosen) {
    std::vector<plot::ChartSource> sources;
    if (auto list = a.Value("signals")) sources = plot::NamedSignals(signalValues, *list);
    if (auto list = a.Value("registers"))
        for (const plot::ChartSource& s : plot::NamedRegisters(model, *list)) sources.push_back(s);
    chosen = a.Has("signals") || a.Has("registers");
    if (!chosen) return plot::DefaultSources(model, signalValues);
    if (sources.size() > plot::kMaxCharts)
        throw Error(Plural(sources.size(), "chart is", "charts are") + " asked for; a plot holds at most " +
                    std::to_string(plot::kMaxCharts));
    return sources;
}

// "Demo: demo-bus.log".
std::string PlotTitle(const std::string& source, const std::string& log) {
    std::filesystem::path s = std::filesystem::path(source).lexically_normal();
    if (s.filename().empty()) s = s.parent_path();
    return s.filename().string() + ": " + std::filesystem::path(log).filename().string();
}

}  // namespace

int PlotCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(2);
    const std::string& source = a.Operands()[0];
    const std::string& logName = a.Operands()[1];
    const std::optional<std::string> file = a.Value("out");
    if (!file) throw a.Usage();
    const PlotFile kind = FileKind(*file);
    const std::string channel = a.Value("channel").value_or("");
    if (a.Has("channel") && channel.empty()) throw UsageError{"--channel needs a channel such as can0 or 1"};
    plot::LogPlotOptions options;
    options.from = SecondsOption(a, "from");
    options.to = SecondsOption(a, "to");
    if (options.from && options.to && *options.to <= *options.from)
        throw UsageError{"--to must lie after --from"};

    const ProjectModel loaded = LoadModel(source);
    std::vector<std::filesystem::path> read = SourceFiles(source);
    if (logName != "-") read.push_back(logName);
    const FolderLocks locks(OutputLocks({}, {*file}, read), FolderLocks::Wait::Yes, WaitNotice(cli));
    SayModelNotes(loaded, true, cli);
    const SignalValues signalValues = LoadSignalsOf(loaded, source, cli);
    const SignalValues* signals = signalValues.Empty() ? nullptr : &signalValues;
    options.sources = ChosenSources(a, loaded.model, signals, options.chosen);
    options.channel = channel;
    options.title = PlotTitle(source, logName);
    LogRunNotes notes(logName, channel, a.Has("strict"), "plot", cli);
    options.onBroken = [&notes](const can::BrokenLine& broken, const can::LogFormatInfo& format) { notes.Broken(broken, format); };

    const plot::LogPlot plotted = plot::PlotLog(loaded.model, signals, logName, options);
    if (!notes.End(loaded.model, plotted.summary)) return kExitFailed;
    if (plotted.crowded > 0)
        cli.Say("note: " + Plural(plotted.crowded, "chart more had", "charts more had") +
                " values; a plot holds at most " + std::to_string(plot::kMaxCharts) +
                ": choose with --signals or --registers");
    const plot::PlotPicture picture = plot::DrawPlot(plotted.plot, {});
    const std::string text = kind == PlotFile::Svg
                                 ? plot::FigureSvg(picture.figure)
                                 : plot::PlotHtml(plotted.plot, picture.figure, ReplaySummaryLines(loaded.model, plotted.summary));
    AtomicFileWriter writer(*file);
    writer.Write(text);
    writer.Commit();
    const plot::TimeAxis& axis = plotted.plot.time;
    // A log without time stamps is plotted frame by frame, a second of the axis each.
    const std::string span = axis.unit == plot::TimeUnit::Frames
                                 ? Plural(static_cast<std::size_t>((axis.to - axis.from) / 1000000 + 1), "frame", "frames")
                                 : plot::TimeText(axis, axis.to - axis.from);
    cli.Done("Wrote " + *file + ": " + Plural(plotted.plot.charts.size(), "chart", "charts") + " over " + span +
             "; time axis: " + plot::TimeBaseText(axis));
    return kExitOk;
}

}  // namespace vestrel

// The register map as a PDF ("Save as PDF" in the Register map window) for
// the largest project the frame tables hold: 250 receive and 250 transmit
// frames of 8 bytes, each with 4 registers (2,000 mapping records, register
// numbers of five digits), generated into a scratch folder ($VESTREL_BENCH_DIR
// when set, else a fresh folder under $TMPDIR). Qt runs on its offscreen
// platform; no display is needed.
//
//   BM_RegisterMapPdf/F   RegisterMapPdf of a project of F + F frames: the
//                         layout and every page; counters give the pages and
//                         the size of the PDF.
//   BM_RegisterMapHtml/F  RegisterMapHtml of the same project, for scale.
//
// The time should grow with F and no faster (F = 50, 100, 250).

#include "bench_folder.h"
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
#include "gateway/register_report.h"
#include "gateway/ui/report_pdf.h"
#include "platform/file_util.h"

#include <QGuiApplication>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace gateway;

// A project of `frames` receive and `frames` transmit frames.
fs::path Project(int frames) {
    static BenchFolder folder;
    const fs::path dir = folder.Root() / ("report-" + std::to_string(frames));
    if (fs::exists(dir / "TInfoCob.xml")) return dir;
    fs::create_directories(dir);
    fs::copy_file(VESTREL_DEMO_PROJECT "/pargen.xml", dir / "pargen.xml", fs::copy_options::overwrite_existing);
    for (const char* direction : {"R", "T"}) {
        const bool receive = direction[0] == 'R';
        std::string table = "<COBID>", mappings = receive ? "<RInfoCob>" : "<TInfoCob>";
        for (int f = 1; f <= frames; ++f) {
            table += "<row CobID=\"" + std::to_string((receive ? 0x100 : 0x500) + f) + "\" Dimensin=\"8\"" +
                     (receive ? "" : " RTR=\"N\"") + " Mnemonic=\"" + direction + " frame " + std::to_string(f) +
                     "\"/>";
            for (int r = 0; r < 4; ++r)
                mappings += "<row Index=\"" + std::to_string((receive ? 10000 : 40000) + 10 * f + r) + "\" NrPdo=\"" +
                            std::to_string(f) + "\" PosComp=\"" + std::to_string(16 * (2 * r + 1) + 2 * r + 2) + "\"/>";
        }
        WriteFileAtomic(dir / (std::string(direction) + "CobDef.xml"), table + "</COBID>");
        WriteFileAtomic(dir / (std::string(direction) + "InfoCob.xml"),
                        mappings + (receive ? "</RInfoCob>" : "</TInfoCob>"));
    }
    return dir;
}

ReportDocument Document(int frames) {
    static std::map<int, std::unique_ptr<ProjectModel>> models;
    auto& loaded = models[frames];
    if (!loaded) loaded = std::make_unique<ProjectModel>(LoadProjectModel(Project(frames)));
    ReportInput input;
    input.model = &loaded->model;
    input.problems = loaded->problems;
    input.sourceName = "report-" + std::to_string(frames);
    return RegisterMapDocument(input);
}

void BM_RegisterMapPdf(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const ReportDocument document = Document(frames);
    QByteArray pdf;
    for (auto _ : state) {
        pdf = RegisterMapPdf(document, document.title).value_or(QByteArray());
        benchmark::DoNotOptimize(pdf.data());
    }
    state.counters["pages"] = static_cast<double>(pdf.count("/Type /Page") - pdf.count("/Type /Pages"));
    state.counters["MB"] = static_cast<double>(pdf.size()) / 1e6;
}
BENCHMARK(BM_RegisterMapPdf)->Arg(50)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RegisterMapHtml(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const ReportDocument document = Document(frames);
    for (auto _ : state) benchmark::DoNotOptimize(RegisterMapHtml(document));
}
BENCHMARK(BM_RegisterMapHtml)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "gateway/ui/register_map_window.h"

#include "gateway/model_loading.h"
#include "gateway/signal_values.h"
#include "gateway/ui/report_pdf.h"
#include "gateway/ui/svg_text_object.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"
#include "platform/user_dialogs.h"
#include "plot/ui/plot_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>

namespace vestrel {

using namespace gateway;

namespace {

// The report as a document with the frame pictures as vector objects.
void FillDocument(QTextDocument& document, const ReportDocument& report) {
    QList<QByteArray> pictures;
    const std::string html = RegisterMapHtml(report, [&pictures](const FramePicture& picture) {
        pictures.append(QByteArray::fromStdString(FramePictureSvg(picture)));
        return SvgObjectPlaceholder(static_cast<std::size_t>(pictures.size() - 1));
    });
    InstallSvgObjects(document);
    // Lines break between words only: a narrow column grows rather than
    // cut a number ("-32768..32767") in two.
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WordWrap);
    document.setDefaultTextOption(option);
    document.setHtml(QString::fromStdString(html));
    ReplaceSvgElements(document, pictures);
}

}  // namespace

// A PDF being made: its thread, its file, and the flag that stops it.
struct TFRegisterMap::PdfJob {
    int number = 0;  // so that what an earlier job left in the event queue is not taken for this one's
    std::string path;
    std::atomic<bool> cancel{false};
    std::thread thread;
};

TFRegisterMap::TFRegisterMap(UserDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setObjectName("TFRegisterMap");
    setWindowTitle("Register map");
    TB_Report = new QTextBrowser(this);
    TB_Report->setObjectName("TB_Report");
    TB_Report->setOpenLinks(false);
    BtSaveHtml = new QPushButton("Save as HTML", this);
    BtSaveHtml->setObjectName("BtSaveHtml");
    BtSavePdf = new QPushButton("Save as PDF", this);
    BtSavePdf->setObjectName("BtSavePdf");
    BtPlot = new QPushButton("Plot...", this);
    BtPlot->setObjectName("BtPlot");
    BtClose = new QPushButton("Close", this);
    BtClose->setObjectName("BtClose");
    for (QPushButton* b : {BtSaveHtml, BtSavePdf, BtPlot, BtClose}) b->setAutoDefault(false);
    plot_ = new plot::TFPlot(this);
    pdfProgress_ = new QProgressDialog("Writing the PDF ...", "Cancel", 0, 100, this);
    pdfProgress_->setObjectName("PdfProgress");
    pdfProgress_->setWindowTitle("Save as PDF");
    pdfProgress_->setWindowModality(Qt::WindowModal);
    pdfProgress_->setMinimumDuration(500);
    pdfProgress_->setAutoReset(false);
    pdfProgress_->setAutoClose(false);
    pdfProgress_->reset();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtSaveHtml);
    buttons->addWidget(BtSavePdf);
    buttons->addWidget(BtPlot);
    buttons->addStretch(1);
    buttons->addWidget(BtClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TB_Report, 1);
    layout->addLayout(buttons);
    resize(980, 720);

    askSavePath = [this](const std::string& title, const std::string& filter, const std::string& suggested) {
        const QString path = QFileDialog::getSaveFileName(this, QString::fromStdString(title),
                                                          QString::fromStdString(suggested),
                                                          QString::fromStdString(filter));
        return path.isEmpty() ? std::nullopt : std::optional<std::string>(path.toStdString());
    };
    connect(BtSaveHtml, &QPushButton::clicked, this, [this] { BtSaveHtmlClick(); });
    connect(BtSavePdf, &QPushButton::clicked, this, [this] { BtSavePdfClick(); });
    connect(BtPlot, &QPushButton::clicked, this, [this] { BtPlotClick(); });
    connect(BtClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(pdfProgress_, &QProgressDialog::canceled, this, [this] { CancelPdf(); });
}

TFRegisterMap::~TFRegisterMap() { StopPdf(); }

void TFRegisterMap::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again after it was minimized keeps what it had, a
    // PDF being made included.
    if (event->spontaneous()) return;
    FitToScreen(this);
    FormShow();
}

void TFRegisterMap::done(int result) {
    StopPdf();
    QDialog::done(result);
}

void TFRegisterMap::FormShow() {
    StopPdf();
    const std::filesystem::path dir = paths_.projectDir;
    name_ = dir.filename().string();
    try {
        const ProjectModel loaded = LoadProjectModel(dir);
        // A signal file that cannot be read leaves the map without meanings;
        // the project check names it.
        const SignalValues meanings = LoadSignalValues(dir).signalValues;
        ReportInput input;
        input.model = &loaded.model;
        input.signalValues = meanings.Empty() ? nullptr : &meanings;
        input.problems = loaded.problems;
        input.sourceName = name_;
        document_ = RegisterMapDocument(input);
        html_ = RegisterMapHtml(document_);
    } catch (const std::exception& e) {
        // Every problem at once, not only the first that stopped the compile.
        std::string text = "The project cannot be compiled: " + std::string(e.what());
        if (const auto* check = dynamic_cast<const ProjectNotCompiled*>(&e); check && !check->Problems().empty()) {
            text = "The project cannot be compiled:";
            for (const Problem& problem : check->Problems()) text += "\n" + FormatProblem(problem);
        }
        html_.clear();
        document_ = {};
        TB_Report->setPlainText(QString::fromStdString(PrintableText(text, LineBreaks::Keep)));
        BtSaveHtml->setEnabled(false);
        BtSavePdf->setEnabled(false);
        return;
    }
    BtSaveHtml->setEnabled(true);
    BtSavePdf->setEnabled(true);
    FillDocument(*TB_Report->document(), document_);
}

std::string TFRegisterMap::SuggestedName(const char* extension) const {
    return (std::filesystem::path(paths_.projectDir) / ("register-map" + std::string(extension))).string();
}

void TFRegisterMap::BtSaveHtmlClick() {
    const auto path = askSavePath("Save as HTML", "HTML file (*.html)", SuggestedName(".html"));
    if (!path) return;
    try {
        WriteFileAtomic(*path, html_);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
    }
}

bool TFRegisterMap::SavingPdf() const { return pdf_ != nullptr; }

void TFRegisterMap::BtSavePdfClick() {
    if (pdf_ || html_.empty()) return;
    const auto path = askSavePath("Save as PDF", "PDF file (*.pdf)", SuggestedName(".pdf"));
    if (!path) return;
    static int jobs = 0;
    pdf_ = std::make_unique<PdfJob>();
    pdf_->number = ++jobs;
    pdf_->path = *path;
    BtSavePdf->setEnabled(false);
    pdfProgress_->setValue(0);
    PdfJob* job = pdf_.get();
    // The thread works on copies only; what it says reaches the window
    // through its event loop.
    job->thread = std::thread([this, job, number = job->number, document = document_,
                               title = "Register map: " + name_, step = atPdfStep] {
        PdfRun run;
        run.cancel = &job->cancel;
        run.progress = [this, step](int percent) {
            if (step) step(percent);
            QMetaObject::invokeMethod(this, [this, percent] { pdfProgress_->setValue(percent); }, Qt::QueuedConnection);
        };
        std::optional<QByteArray> pdf;
        std::string error;
        try {
            pdf = RegisterMapPdf(document, title, run);
        } catch (const std::exception& e) {
            error = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, number, pdf, error] { FinishPdf(number, pdf, error); }, Qt::QueuedConnection);
    });
}

void TFRegisterMap::CancelPdf() {
    if (pdf_) pdf_->cancel = true;
}

void TFRegisterMap::FinishPdf(int number, std::optional<QByteArray> pdf, const std::string& error) {
    if (!pdf_ || pdf_->number != number) return;
    pdf_->thread.join();
    const std::string path = pdf_->path;
    const bool cancelled = pdf_->cancel;
    pdf_.reset();
    pdfProgress_->reset();
    BtSavePdf->setEnabled(!html_.empty());
    try {
        if (!error.empty()) throw Error(CannotWriteMessage(path, EIO) + ": " + error);
        // The whole file or none: a nameless file linked in place.
        if (pdf && !cancelled) WriteFileAtomic(path, pdf->toStdString());
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
    }
    emit pdfDone();
}

void TFRegisterMap::StopPdf() {
    if (!pdf_) return;
    pdf_->cancel = true;
    pdf_->thread.join();
    pdf_.reset();
    pdfProgress_->reset();
    BtSavePdf->setEnabled(!html_.empty());
}

void TFRegisterMap::BtPlotClick() {
    plot_->SetPaths(paths_);
    plot_->show();
    plot_->raise();
}

}  // namespace vestrel

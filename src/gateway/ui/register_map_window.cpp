#include "gateway/ui/register_map_window.h"

#include "platform/workspace_paths.h"
#include "gateway/register_report.h"
#include "gateway/ui/svg_text_object.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/user_dialogs.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include <filesystem>

namespace vestrel {

using namespace gateway;

namespace {

// The report as a document with the SVG pictures as vector objects.
void FillDocument(QTextDocument& document, const std::string& html) {
    QList<QByteArray> pictures;
    InstallSvgObjects(document);
    document.setHtml(SvgAsImagePlaceholders(html, pictures));
    ReplaceSvgElements(document, pictures);
}

}  // namespace

TFRegisterMap::TFRegisterMap(UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent),  dialogs_(dialogs) {
    setObjectName("TFRegisterMap");
    setWindowTitle("Register map");
    TB_Report = new QTextBrowser(this);
    TB_Report->setObjectName("TB_Report");
    TB_Report->setOpenLinks(false);
    BtSaveHtml = new QPushButton("Save as HTML", this);
    BtSaveHtml->setObjectName("BtSaveHtml");
    BtSavePdf = new QPushButton("Save as PDF", this);
    BtSavePdf->setObjectName("BtSavePdf");
    BtClose = new QPushButton("Close", this);
    BtClose->setObjectName("BtClose");
    for (QPushButton* b : {BtSaveHtml, BtSavePdf, BtClose}) b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtSaveHtml);
    buttons->addWidget(BtSavePdf);
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
    connect(BtClose, &QPushButton::clicked, this, &QDialog::accept);
}

TFRegisterMap::~TFRegisterMap() = default;

void TFRegisterMap::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFRegisterMap::FormShow() {
    const std::filesystem::path dir = paths_.projectDir;
    name_ = dir.filename().string();
    try {
        const ProjectModel loaded = LoadProjectModel(dir);
        ReportInput input;
        input.model = &loaded.model;
        input.problems = loaded.problems;
        input.sourceName = name_;
        html_ = RegisterMapHtml(input);
    } catch (const std::exception& e) {
        html_.clear();
        TB_Report->setPlainText(QString("The project cannot be compiled: ") + e.what());
        BtSaveHtml->setEnabled(false);
        BtSavePdf->setEnabled(false);
        return;
    }
    BtSaveHtml->setEnabled(true);
    BtSavePdf->setEnabled(true);
    FillDocument(*TB_Report->document(), html_);
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

void TFRegisterMap::BtSavePdfClick() {
    const auto path = askSavePath("Save as PDF", "PDF file (*.pdf)", SuggestedName(".pdf"));
    if (!path) return;
    try {
        WritePdf(*path);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
    }
}

void TFRegisterMap::WritePdf(const std::string& path) const {
    // QPdfWriter writes in place; it writes a scratch file beside the target
    // that is then renamed over it, so that a failed save replaces nothing.
    const std::filesystem::path target = path;
    const std::filesystem::path scratch = target.parent_path() / ("." + target.filename().string() + ".partial");
    {
        QPdfWriter writer(QString::fromStdString(scratch.string()));
        // The document lays out in screen pixels; at 96 dpi an A4 page takes
        // about as much as the window shows across.
        writer.setResolution(96);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(QString::fromStdString("Register map: " + name_));
        writer.setCreator("Firmware Vestrel");
        QTextDocument document;
        document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        FillDocument(document, html_);
        document.print(&writer);
    }
    std::error_code ec;
    if (std::filesystem::file_size(scratch, ec) == 0 || ec) {
        std::filesystem::remove(scratch, ec);
        throw Error(CannotCreateMessage(target, ec ? ec.value() : EIO));
    }
    std::filesystem::rename(scratch, target, ec);
    if (ec) {
        std::filesystem::remove(scratch, ec);
        throw Error(CannotWriteMessage(target, ec.value()));
    }
}

}  // namespace vestrel

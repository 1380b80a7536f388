#include "app/about_box.h"

#include "platform/qt/click_label.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"
#include "platform/user_dialogs.h"
#include "workspace/product.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <string>

namespace vestrel {

QPixmap VendorLogo(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient fill(0, 0, s, s);
    fill.setColorAt(0, QColor(0x1f, 0x6f, 0xb5));
    fill.setColorAt(1, QColor(0x0b, 0x3a, 0x66));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    // A "Z" drawn as one stroke, with an orange spark: the vendor's mark.
    QPainterPath z;
    z.moveTo(s * 0.24, s * 0.28);
    z.lineTo(s * 0.76, s * 0.28);
    z.lineTo(s * 0.26, s * 0.72);
    z.lineTo(s * 0.78, s * 0.72);
    p.setPen(QPen(Qt::white, s * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(z);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf5, 0x9e, 0x0b));
    p.drawEllipse(QPointF(s * 0.78, s * 0.22), s * 0.08, s * 0.08);
    return pixmap;
}

namespace {

// The version, the codes and the workspace, a caption beside each value.
QGridLayout* CodesGrid(QWidget* parent, const std::string& workspaceRoot) {
    auto* codes = new QGridLayout;
    codes->setHorizontalSpacing(8);
    codes->setVerticalSpacing(1);
    const std::string workspace = PrintableText(workspaceRoot, LineBreaks::OneLine);
    const char* rows[][2] = {
        {"Version :", kProductVersion},
        {"Software Code : ", kProduct.softwareCode},
        {"Document Code :", kProduct.documentCode},
        {"Workspace :", workspace.c_str()},
    };
    for (int i = 0; i < 4; ++i) {
        codes->addWidget(new QLabel(rows[i][0], parent), i, 0);
        auto* value = new QLabel(QString::fromStdString(rows[i][1]), parent);
        value->setObjectName(QString("LbValue%1").arg(i + 1));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        codes->addWidget(value, i, 1);
    }
    codes->setColumnStretch(2, 1);
    return codes;
}

}  // namespace

TFAbout::TFAbout(ProcessLauncher& launcher, const std::string& workspaceRoot, QWidget* parent)
    : QDialog(parent), launcher_(launcher) {
    setObjectName("TFAbout");
    setWindowTitle("About...");
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Image1 = new ClickLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(VendorLogo(96));
    Image1->setScaledContents(true);
    Image1->setFixedSize(96, 96);
    Image1->setToolTip(kProduct.webLabel);

    auto* product = new QLabel("Software Vestrel ", this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    product->setFont(bold);
    auto* role = new QLabel("CAN / Modbus Slave - Converter", this);

    QGridLayout* codes = CodesGrid(this, workspaceRoot);

    LbWeb = new ClickLabel(this);
    LbWeb->setObjectName("LbWeb");
    LbWeb->setText(kProduct.webLabel);
    LbWeb->SetLinkStyle();
    // The mail link stays hidden and does nothing.
    LbMail = new ClickLabel(this);
    LbMail->setObjectName("LbMail");
    LbMail->setText(kProduct.mail);
    LbMail->hide();

    BtOK = new QPushButton("OK", this);
    BtOK->setObjectName("BtOK");
    BtOK->setDefault(true);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(product);
    text->addWidget(role);
    text->addSpacing(4);
    text->addLayout(codes);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LbWeb);
    bottom->addWidget(LbMail);
    bottom->addStretch(1);
    bottom->addWidget(BtOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    FixSizeForText(this, QSize(389, 152));

    connect(Image1, &ClickLabel::clicked, this, [this] { ImageClick(); });
    connect(LbWeb, &ClickLabel::clicked, this, [this] { LbWebClick(); });
    connect(BtOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TFAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) CenterOnScreen(this);
}

void TFAbout::ImageClick() { OpenVendorPage(); }

void TFAbout::LbWebClick() { OpenVendorPage(); }

void TFAbout::OpenVendorPage() { launcher_.OpenUrl(std::string(kProduct.webAddress) + kProduct.pagePath); }

}  // namespace vestrel

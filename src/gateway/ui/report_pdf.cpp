#include "gateway/ui/report_pdf.h"

#include "platform/qt/qt_paths.h"
#include "vestrel/version.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPolygonF>
#include <QPdfWriter>
#include <QRegularExpression>

#include <cstddef>

#include <algorithm>
#include <charconv>
#include <memory>
#include <numeric>
#include <vector>

namespace vestrel {

using namespace gateway;

namespace {

// The page is laid out in the HTML page's pixels, 96 to the inch.
constexpr int kDpi = 96;
constexpr double kFooter = 24;     // room at the foot of each page for its number
constexpr double kPadX = 8, kPadY = 3;  // inside a table cell
constexpr double kLayoutShare = 20;  // per cent of the progress for the layout, the rest for the pages
constexpr int kBodyFont = 14, kSmallestFont = 9;  // pixels

const QColor kInk(0x11, 0x11, 0x11), kMuted(0x66, 0x66, 0x66), kError(0xA0, 0x00, 0x00), kWarning(0x7A, 0x52, 0x00),
    kRule(0xCC, 0xCC, 0xCC), kGrid(0xBB, 0xBB, 0xBB), kHeadingFill(0xF0, 0xF0, 0xF0);

QFont Font(int pixels, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}


// One piece of the flow of pages, always drawn whole on one page.
struct Piece {
    double before = 0;  // space above it, left out at the top of a page
    double height = 0;
    bool keepWithNext = false;
    int heading = -1;  // a table row: the piece of its heading row, drawn again on each new page
    std::function<void(QPainter&, double y)> draw;
};

// A frame picture for the PDF, drawn shape by shape with the painter: the
// texts stay text (a renderer of the SVG would draw each letter as a path,
// which makes a page of pictures megabytes large and its words impossible to
// find or copy).
class Picture {
public:
    explicit Picture(gateway::FramePicture picture) : picture_(std::move(picture)) {}

    QSizeF Size() const { return {picture_.width, picture_.height}; }

    void Draw(QPainter& painter, const QRectF& target) const {
        if (picture_.width <= 0) return;
        const double scale = target.width() / picture_.width;
        painter.save();
        painter.translate(target.topLeft());
        painter.scale(scale, scale);
        painter.setRenderHint(QPainter::Antialiasing);
        for (const gateway::PictureShape& shape : picture_.shapes) Draw(painter, shape);
        painter.restore();
    }

private:
    using Kind = gateway::PictureShape::Kind;

    static QColor Colour(const std::string& text) { return QColor(ToQText(text)); }

    static QPen Stroke(const gateway::PictureShape& shape) {
        QPen pen(Colour(shape.stroke), 1.5);
        // In widths of the pen, as Qt counts them: 4 and 3 in the picture's units.
        if (shape.dashed) pen.setDashPattern({4 / 1.5, 3 / 1.5});
        return pen;
    }

    static void Draw(QPainter& painter, const gateway::PictureShape& shape) {
        const std::vector<double>& v = shape.points;
        switch (shape.kind) {
            case Kind::Rect:
                painter.setPen(Stroke(shape));
                painter.setBrush(Colour(shape.fill));
                painter.drawRect(QRectF(v[0], v[1], v[2], v[3]));
                break;
            case Kind::Line:
                painter.setPen(Stroke(shape));
                painter.drawLine(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
                break;
            case Kind::Polygon: {
                QPolygonF corners;
                for (std::size_t i = 0; i + 1 < v.size(); i += 2) corners << QPointF(v[i], v[i + 1]);
                painter.setPen(Qt::NoPen);
                painter.setBrush(Colour(shape.fill));
                painter.drawPolygon(corners);
                break;
            }
            case Kind::Text: {
                const QFont font = Font(shape.size, shape.bold);
                const QString text = ToQText(shape.text);
                painter.setFont(font);
                painter.setPen(Colour(shape.fill));
                // Anchored at the middle of the base line.
                const double width = QFontMetricsF(font, painter.device()).horizontalAdvance(text);
                painter.drawText(QPointF(v[0] - width / 2, v[1]), text);
                break;
            }
        }
    }

    gateway::FramePicture picture_;
};

// Turns the document's blocks into pieces of known height.
class Flow {
public:
    Flow(QPaintDevice& device, double width) : device_(device), width_(width) {}

    void Add(const ReportBlock& block) {
        switch (block.kind) {
            case ReportBlock::Kind::Intro: Text(block.text, Font(14), kMuted, 4, false); break;
            case ReportBlock::Kind::Heading: Heading(block.text); break;
            case ReportBlock::Kind::Subheading: Text(block.text, Font(15, true), kInk, 18, true); break;
            case ReportBlock::Kind::Paragraph: Text(block.text, Font(14), kInk, 6, false); break;
            case ReportBlock::Kind::Findings:
                for (const auto& [level, text] : block.findings)
                    Text("\u2022 " + text, Font(14),
                         level == FindingLevel::Error     ? kError
                         : level == FindingLevel::Warning ? kWarning
                                                          : kInk,
                         4, false);
                break;
            case ReportBlock::Kind::Settings: Table(block.table, true); break;
            case ReportBlock::Kind::MapTable: Table(block.table, false); break;
            case ReportBlock::Kind::Frame: Frame(block); break;
        }
    }
    void Title(const std::string& text) { Text(text, Font(22, true), kInk, 0, true); }

    std::vector<Piece> pieces;

private:
    double TextHeight(const QFont& font, const QString& text, double width) const {
        return QFontMetricsF(font, &device_).boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height();
    }

    void Text(const std::string& text, const QFont& font, const QColor& colour, double before, bool keep) {
        const QString q = ToQText(text);
        Piece& p = pieces.emplace_back();
        p.before = before;
        p.height = TextHeight(font, q, width_) + 4;
        p.keepWithNext = keep;
        const double width = width_;
        p.draw = [q, font, colour, width](QPainter& painter, double y) {
            painter.setFont(font);
            painter.setPen(colour);
            painter.drawText(QRectF(0, y, width, 1e6), Qt::TextWordWrap, q);
        };
    }

    void Heading(const std::string& text) {
        Text(text, Font(18, true), kInk, 28, true);
        Piece& p = pieces.back();
        p.height += 4;
        auto drawText = std::move(p.draw);
        const double width = width_, rule = p.height - 3;
        p.draw = [drawText, width, rule](QPainter& painter, double y) {
            drawText(painter, y);
            painter.setPen(QPen(kRule, 1));
            painter.drawLine(QPointF(0, y + rule), QPointF(width, y + rule));
        };
    }

    // Columns as wide as their longest text; when that is more than the
    // page has, each column keeps at least its longest word (a number, a
    // name, "-32768..32767" never breaks) and the rest of the page goes to
    // the columns that wrap, as much as each would take beyond its longest
    // word. WidestWords says whether that fits at all.
    std::vector<double> Columns(const ReportTable& table, const QFont& font, const QFont& bold) const {
        const std::vector<double> natural = ColumnWidths(table, font, bold, false);
        const std::vector<double> least = ColumnWidths(table, font, bold, true);
        const double all = std::accumulate(natural.begin(), natural.end(), 0.0);
        if (all <= width_) return natural;
        const double floor = std::accumulate(least.begin(), least.end(), 0.0);
        std::vector<double> widths = least;
        const double extra = std::max(0.0, width_ - floor);
        const double wanted = all - floor;
        for (std::size_t c = 0; c < widths.size(); ++c)
            if (wanted > 0) widths[c] += (natural[c] - least[c]) * extra / wanted;
        return widths;
    }

    // Per column the width of its longest text, or with `words` of its
    // longest word, heading included, padding included.
    std::vector<double> ColumnWidths(const ReportTable& table, const QFont& font, const QFont& bold, bool words) const {
        const std::size_t n = table.rows.empty() ? table.headings.size() : table.rows.front().size();
        std::vector<double> widths(n, 0);
        const QFontMetricsF plain(font, &device_), strong(bold, &device_);
        const auto widest = [&](const QFontMetricsF& metrics, const std::string& text) {
            const QString q = ToQText(text);
            if (!words) return metrics.horizontalAdvance(q);
            double most = 0;
            for (const QString& word : q.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts))
                most = std::max(most, metrics.horizontalAdvance(word));
            return most;
        };
        for (std::size_t c = 0; c < table.headings.size() && c < n; ++c)
            widths[c] = widest(strong, table.headings[c]);
        for (const auto& row : table.rows)
            for (std::size_t c = 0; c < n && c < row.size(); ++c)
                widths[c] = std::max(widths[c], widest(table.headings.empty() && c == 0 ? strong : plain, row[c]));
        for (double& w : widths) w += 2 * kPadX + 2;
        return widths;
    }

public:
    // The width a table needs so that no word of it breaks, at the body's font.
    double WidestWords(const ReportTable& table, int pixels) const {
        const std::vector<double> least = ColumnWidths(table, Font(pixels), Font(pixels, true), true);
        return std::accumulate(least.begin(), least.end(), 0.0);
    }

private:
    // A row of cells: the heading row shaded, the first cell of a name-value
    // row shaded and bold, numbers to the right.
    void Row(const std::vector<std::string>& cells, const std::vector<double>& widths, const std::vector<bool>& numeric,
             bool heading, bool nameValue, double before, int headingPiece, int pixels) {
        const QFont font = Font(pixels), bold = Font(pixels, true);
        std::vector<QString> texts;
        double height = 0;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            texts.push_back(c < cells.size() ? ToQText(cells[c]) : QString());
            const bool strong = heading || (nameValue && c == 0);
            height = std::max(height, TextHeight(strong ? bold : font, texts.back(), widths[c] - 2 * kPadX));
        }
        Piece& p = pieces.emplace_back();
        p.before = before;
        p.height = height + 2 * kPadY + 1;
        p.keepWithNext = heading;
        p.heading = headingPiece;
        const double rowHeight = p.height;
        p.draw = [texts, widths, numeric, heading, nameValue, rowHeight, font, bold](QPainter& painter, double y) {
            double x = 0;
            for (std::size_t c = 0; c < widths.size(); ++c) {
                const bool strong = heading || (nameValue && c == 0);
                const QRectF cell(x, y, widths[c], rowHeight);
                painter.fillRect(cell, strong ? kHeadingFill : Qt::white);
                painter.setPen(QPen(kGrid, 1));
                painter.drawRect(cell);
                painter.setFont(strong ? bold : font);
                painter.setPen(kInk);
                const bool right = !heading && c < numeric.size() && numeric[c];
                painter.drawText(cell.adjusted(kPadX, kPadY, -kPadX, -kPadY),
                                 Qt::TextWordWrap | (right ? Qt::AlignRight : Qt::AlignLeft), texts[c]);
                x += widths[c];
            }
        };
    }

    // A table whose words do not fit across the page at the body's font
    // takes a smaller one, down to kSmallestFont.
    void Table(const ReportTable& table, bool nameValue) {
        int pixels = kBodyFont;
        while (pixels > kSmallestFont && WidestWords(table, pixels) > width_) --pixels;
        const std::vector<double> widths = Columns(table, Font(pixels), Font(pixels, true));
        int headingPiece = -1;
        double before = 6;
        if (!table.headings.empty()) {
            Row(table.headings, widths, table.numeric, true, false, before, -1, pixels);
            headingPiece = static_cast<int>(pieces.size()) - 1;
            before = 0;
        }
        for (const auto& row : table.rows) {
            Row(row, widths, table.numeric, false, nameValue, before, headingPiece, pixels);
            before = 0;
        }
    }

    // The caption and the picture as one piece; the picture scaled down
    // only where the page is too narrow or too short for it.
    void Frame(const ReportBlock& block) {
        const QFont font = Font(14, true);
        const QString caption = ToQText(block.text);
        const double captionHeight = TextHeight(font, caption, width_) + 4;
        auto svg = std::make_shared<Picture>(block.picture);
        QSizeF size = svg->Size();
        if (size.width() > width_) size *= width_ / size.width();
        Piece& p = pieces.emplace_back();
        p.before = 10;
        p.height = captionHeight + size.height() + 8;
        p.draw = [svg, size, caption, captionHeight, font, width = width_](QPainter& painter, double y) {
            painter.setFont(font);
            painter.setPen(kInk);
            painter.drawText(QRectF(0, y, width, captionHeight), Qt::TextWordWrap, caption);
            svg->Draw(painter, QRectF(QPointF(0, y + captionHeight), size));
        };
    }

    QPaintDevice& device_;
    double width_;
};

// Fits a piece taller than a page into one by drawing it scaled.
void DrawFitted(QPainter& painter, const Piece& piece, double y, double pageHeight) {
    if (piece.height <= pageHeight) {
        piece.draw(painter, y);
        return;
    }
    const double scale = pageHeight / piece.height;
    painter.save();
    painter.scale(scale, scale);
    piece.draw(painter, y / scale);
    painter.restore();
}

}  // namespace

std::optional<QByteArray> RegisterMapPdf(const ReportDocument& document, const std::string& title, const PdfRun& run) {
    auto cancelled = [&] { return run.cancel && run.cancel->load(); };
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    // Portrait, unless a table's words need the width of a landscape page.
    {
        const Flow probe(writer, writer.pageLayout().paintRectPixels(kDpi).width());
        double widest = 0;
        for (const ReportBlock& block : document.blocks)
            if (block.kind == ReportBlock::Kind::MapTable || block.kind == ReportBlock::Kind::Settings)
                widest = std::max(widest, probe.WidestWords(block.table, kBodyFont));
        if (widest > writer.pageLayout().paintRectPixels(kDpi).width())
            writer.setPageOrientation(QPageLayout::Landscape);
    }
    writer.setTitle(ToQText(title));
    writer.setCreator(QString::fromUtf8(kApplicationName));
    const QRectF page = writer.pageLayout().paintRectPixels(kDpi);
    const double pageHeight = page.height() - kFooter;

    // First every piece and its height, a block at a time; then the pages.
    Flow flow(writer, page.width());
    flow.Title(document.title);
    const std::size_t blocks = document.blocks.size();
    for (std::size_t i = 0; i < blocks; ++i) {
        if (cancelled()) return std::nullopt;
        flow.Add(document.blocks[i]);
        if (run.progress) run.progress(static_cast<int>(kLayoutShare * static_cast<double>(i + 1) / static_cast<double>(blocks)));
    }
    const std::vector<Piece>& pieces = flow.pieces;

    QPainter painter(&writer);
    int pageNumber = 1;
    auto footer = [&] {
        painter.setFont(Font(10));
        painter.setPen(kMuted);
        painter.drawText(QRectF(0, page.height() - kFooter + 6, page.width(), kFooter - 6), Qt::AlignRight,
                         ToQText(title + " \u2013 page " + std::to_string(pageNumber)));
    };
    double y = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (cancelled()) {
            painter.end();
            return std::nullopt;
        }
        const Piece& piece = pieces[i];
        // A heading goes with what follows it, and a chain of them with the
        // first piece that stands on its own.
        double need = (y > 0 ? piece.before : 0) + piece.height;
        for (std::size_t j = i; pieces[j].keepWithNext && j + 1 < pieces.size() && need < pageHeight; ++j)
            need += pieces[j + 1].before + pieces[j + 1].height;
        if (y > 0 && y + need > pageHeight) {
            footer();
            writer.newPage();
            ++pageNumber;
            y = 0;
            if (piece.heading >= 0) {
                const Piece& heading = pieces[static_cast<std::size_t>(piece.heading)];
                heading.draw(painter, y);
                y += heading.height;
            }
        }
        if (y > 0) y += piece.before;
        DrawFitted(painter, piece, y, pageHeight);
        y += std::min(piece.height, pageHeight);
        if (run.progress)
            run.progress(static_cast<int>(kLayoutShare + (100 - kLayoutShare) * static_cast<double>(i + 1) /
                                                             static_cast<double>(pieces.size())));
    }
    footer();
    painter.end();
    return pdf;
}

}  // namespace vestrel

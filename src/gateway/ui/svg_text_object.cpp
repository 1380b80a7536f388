#include "gateway/ui/svg_text_object.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>
#include <QTextObjectInterface>

namespace vestrel {

namespace {

constexpr int kSvgObjectType = QTextFormat::UserObject + 15;
constexpr int kSvgDataProperty = QTextFormat::UserProperty + 1;
const QString kPlaceholderScheme = QStringLiteral("vestrel-svg:");

class SvgObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        QSvgRenderer renderer(format.property(kSvgDataProperty).toByteArray());
        return renderer.defaultSize();
    }
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat& format) override {
        QSvgRenderer renderer(format.property(kSvgDataProperty).toByteArray());
        renderer.render(painter, rect);
    }
};

}  // namespace

void InstallSvgObjects(QTextDocument& document) {
    document.documentLayout()->registerHandler(kSvgObjectType, new SvgObject(&document));
}

std::string SvgObjectPlaceholder(std::size_t n) {
    return "<img src=\"" + kPlaceholderScheme.toStdString() + std::to_string(n) + "\">";
}

void ReplaceSvgElements(QTextDocument& document, const QList<QByteArray>& pictures) {
    // Positions are collected first: replacing changes the fragments.
    QList<QPair<int, int>> found;  // position, picture
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isImageFormat()) continue;
            const QString name = format.toImageFormat().name();
            if (!name.startsWith(kPlaceholderScheme)) continue;
            bool ok = false;
            const int index = name.mid(kPlaceholderScheme.size()).toInt(&ok);
            if (ok && index >= 0 && index < pictures.size()) found.append({fragment.position(), index});
        }
    }
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        QTextCursor cursor(&document);
        cursor.setPosition(it->first);
        cursor.setPosition(it->first + 1, QTextCursor::KeepAnchor);
        QTextCharFormat svg;
        svg.setObjectType(kSvgObjectType);
        svg.setProperty(kSvgDataProperty, pictures[it->second]);
        cursor.insertText(QString(QChar::ObjectReplacementCharacter), svg);
    }
}

}  // namespace vestrel

#include "svg_text_object.moc"

#pragma once

#include <QString>
#include <QTextDocument>

namespace vestrel {

// Lets a QTextDocument hold SVG pictures as vector objects: drawn through
// QSvgRenderer on the screen and into a PDF alike, from the very SVG text the
// HTML report carries.
//
// Call InstallSvgObjects once per document, then ReplaceSvgElements after
// setHtml: it turns each <img src="vestrel-svg:N"> that SvgAsImagePlaceholders
// left into the N-th picture.
void InstallSvgObjects(QTextDocument& document);

// The HTML with every inline <svg>...</svg> replaced by an <img> placeholder
// (QTextDocument does not read inline SVG); the pictures, in order, go to
// `pictures`.
QString SvgAsImagePlaceholders(const std::string& html, QList<QByteArray>& pictures);

void ReplaceSvgElements(QTextDocument& document, const QList<QByteArray>& pictures);

}  // namespace vestrel

#pragma once

#include <QString>
#include <QList>
#include <QByteArray>
#include <QTextDocument>

#include <cstddef>
#include <string>

namespace vestrel {

// Lets a QTextDocument hold SVG pictures as vector objects: drawn through
// QSvgRenderer on the screen and into a PDF alike, from the very SVG text the
// HTML report carries.
//
// Call InstallSvgObjects once per document, then ReplaceSvgElements after
// setHtml: it turns each <img src="vestrel-svg:N"> (SvgObjectPlaceholder)
// into the N-th picture.
void InstallSvgObjects(QTextDocument& document);

// What the HTML holds where the N-th picture goes (QTextDocument does not
// read inline SVG).
std::string SvgObjectPlaceholder(std::size_t n);

void ReplaceSvgElements(QTextDocument& document, const QList<QByteArray>& pictures);

}  // namespace vestrel

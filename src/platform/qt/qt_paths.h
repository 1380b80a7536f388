#pragma once

#include <QString>

#include <string>

namespace vestrel {

// File paths cross between the plain C++ side (std::string in the local 8-bit
// encoding) and Qt through these two, so that names with non-ASCII
// characters survive the trip.
QString ToQPath(const std::string& path);
std::string FromQPath(const QString& path);
// A path (or a text holding one) to show, separators as they are.
QString ToQDisplayPath(const std::string& path);

// Texts the user reads are UTF-8 on the plain C++ side.
inline QString ToQText(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQText(const QString& text) { return text.toStdString(); }

}  // namespace vestrel

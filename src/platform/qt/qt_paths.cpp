#include "platform/qt/qt_paths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

namespace vestrel {

QString ToQPath(const std::string& path) {
    return QDir::fromNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)));
}

std::string FromQPath(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString(); }

QString ToQDisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace vestrel

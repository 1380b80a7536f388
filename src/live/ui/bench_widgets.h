#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <string>

class QLabel;

// Small pieces the bench window's pages share.
namespace vestrel::live {

// The colour of what should catch the eye: an unknown COB-ID, a mismatch.
inline const QColor kStandOut(0xFF, 0xE0, 0xD8);

// A status line: plain, or red for a failure. The text is escaped.
void ShowStatus(QLabel* label, const std::string& text, bool failure);

// Microseconds since the epoch, the bench's clock for rates.
std::int64_t NowMicros();

}  // namespace vestrel::live

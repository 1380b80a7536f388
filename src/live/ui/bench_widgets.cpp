#include "live/ui/bench_widgets.h"

#include "platform/printable_text.h"

#include <QLabel>

#include <chrono>

namespace vestrel::live {

void ShowStatus(QLabel* label, const std::string& text, bool failure) {
    label->setText(QString::fromStdString(PrintableText(text, LineBreaks::OneLine)));
    label->setStyleSheet(failure ? "color: #B00020;" : "");
}

std::int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace vestrel::live

#include "cli/progress_bar.h"

#include <ostream>

namespace vestrel {

namespace {
constexpr int kBarWidth = 40;
}

void TerminalProgressBar::SetPosition(std::int64_t position) {
    position_ = position;
    Draw();
}

void TerminalProgressBar::SetMaximum(std::int64_t maximum) {
    maximum_ = maximum;
    Draw();
}

void TerminalProgressBar::Step() {
    ++position_;
    Draw();
}

void TerminalProgressBar::Draw() {
    if (!enabled_ || maximum_ <= 0) return;
    std::int64_t clamped = position_ < 0 ? 0 : (position_ > maximum_ ? maximum_ : position_);
    int percent = static_cast<int>(clamped * 100 / maximum_);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    int filled = percent * kBarWidth / 100;
    err_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << percent << '%' << std::flush;
    drawn_ = true;
}

void TerminalProgressBar::Finish() {
    if (drawn_) err_ << '\n' << std::flush;
    drawn_ = false;
    shownPercent_ = -1;
}

}  // namespace vestrel

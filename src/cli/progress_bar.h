#pragma once

#include "firmware/bank_merge.h"

#include <iosfwd>

namespace vestrel {

// A one-line progress bar on a terminal, redrawn only when the shown
// percentage changes so that a large image does not flood the terminal.
class TerminalProgressBar : public ProgressSink {
public:
    TerminalProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~TerminalProgressBar() override { Finish(); }

    void SetLabel(std::string label) { label_ = std::move(label); }
    void SetPosition(std::int64_t position) override;
    void SetMaximum(std::int64_t maximum) override;
    void Step() override;
    // Ends the line of a bar that was drawn.
    void Finish();

private:
    void Draw();

    std::ostream& err_;
    bool enabled_;
    std::string label_;
    std::int64_t position_ = 0;
    std::int64_t maximum_ = 0;
    int shownPercent_ = -1;
    bool drawn_ = false;
};

}  // namespace vestrel

#pragma once

#include "gateway/register_report.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <optional>
#include <string>

namespace vestrel {

// How a PDF run reports and stops. Both are used in the thread that writes.
struct PdfRun {
    // After each block laid out and each piece drawn: how far the run is,
    // 0 to 100 per cent, never going back.
    std::function<void(int percent)> progress;
    // Set to stop the run at the next step.
    const std::atomic<bool>* cancel = nullptr;
};

// The register map as a PDF of A4 pages: text as text and each frame's SVG
// drawn once as vectors, never rasterised, so that time and size grow with
// the report and no faster. A caption stays on the page of its picture, a
// heading on the page of what follows it, and no table row is split; a
// table that goes on over a page repeats its heading row. Runs without a
// window in any thread (a QGuiApplication must exist). Returns the PDF, or
// nothing when cancelled.
std::optional<QByteArray> RegisterMapPdf(const gateway::ReportDocument& document, const std::string& title,
                                         const PdfRun& run = {});

}  // namespace vestrel

#pragma once

#include "can/can_frame.h"
#include "gateway/signal_values.h"

#include <QObject>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vestrel::live {

// What a check's lines may name besides its own findings.
struct CheckLineContext {
    const gateway::SignalValues* signalValues = nullptr;  // the registers' meanings, when signals were imported
    std::span<const std::uint16_t> shared = {};           // registers read and written at one address
};

// One check a bench session runs (BenchSession::StartCheck): started once,
// fed every frame the session hears or sends while it runs, and says
// `finished` when its verdicts are in. Destroying it cancels every callback
// it has due, so the session may drop it at any time. The bench window and
// vestrel-cli verify run the same checks and print the same lines.
class BenchCheck : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void Start() = 0;
    virtual bool Running() const = 0;
    // A frame on the bus; a check that watches none leaves it.
    virtual void OnFrame(const can::CanFrame& frame) { (void)frame; }
    // What it found, a line each, as the report says it.
    virtual std::vector<std::string> Lines(const CheckLineContext& context) const = 0;

signals:
    void finished();
};

}  // namespace vestrel::live

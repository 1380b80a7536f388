#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace vestrel {

class TFVestreleFirmWare;

// Draws the README pictures of the bench window: the open project's
// simulated gateway on a socat pair of pseudo-terminals and a virtualcan
// relay, the frames of examples/demo-bus.log on the bus, then each page after
// what an engineer would do there. `save` writes one window's picture.
// Returns false, having said why on stderr, when a step does not come about.
bool DrawBenchPictures(TFVestreleFirmWare& window, const QString& busLog, const QString& outDir,
                       const std::function<bool(QWidget*, const QString&)>& save);

}  // namespace vestrel

#include "cli/bench_support.h"

#include "cli/model_notes.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <charconv>
#include <filesystem>
#include <cstdlib>

namespace vestrel {

long NumberOption(const Arguments& a, const std::string& name, long min, long max) {
    const auto text = a.Value(name);
    if (!text) return 0;
    long value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size() || value < min || value > max)
        throw UsageError{"--" + name + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + *text + "'"};
    return value;
}

std::string SerialPortPath(const std::string& port) {
    // Qt reads a bare name as one under /dev; a file of that name here is
    // what the user means (a socat link, a device node made for a test).
    std::error_code ec;
    if (port.find('/') == std::string::npos && std::filesystem::exists(std::filesystem::symlink_status(port, ec)))
        return "./" + port;
    return port;
}

BenchSetup ReadBenchSetup(const Arguments& a, const CliContext& cli) {
    a.ExpectOperands(1);
    const auto can = a.Value("can");
    const auto port = a.Value("modbus");
    if (!can || !port) throw a.Usage();
    std::string why;
    auto endpoint = live::ParseCanInterface(*can, why);
    if (!endpoint) throw UsageError{why};
    std::optional<live::SerialSettings> serial;
    if (auto text = a.Value("serial")) {
        serial = live::ParseSerialSettings(*text, why);
        if (!serial) throw UsageError{why};
    }
    const long base = NumberOption(a, "index-base", 0, 1);
    const long address = NumberOption(a, "address", 1, 247);

    BenchSetup setup{gateway::LoadModel(a.Operands()[0]), {}, *endpoint, SerialPortPath(*port),
                     base == 0 ? live::Numbering::ProtocolAddress : live::Numbering::RegisterNumber};
    SayModelNotes(setup.loaded, false, cli);
    setup.settings = live::BenchSettingsOf(setup.loaded.model.Banks());
    if (serial) setup.settings.serial = *serial;
    if (address > 0) setup.settings.deviceAddress = static_cast<int>(address);
    for (const std::string& note : live::BenchNotes(setup.settings, setup.loaded.model.Banks()))
        cli.Say("note: " + note);
    return setup;
}

CommandEventLoop::CommandEventLoop() {
    // Inside an application (the tests) its own rules stand.
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_LOGGING_RULES")) QLoggingCategory::setFilterRules("qt.canbus*=false\nqt.modbus*=false");
    static int argc = 1;
    static char name[] = "vestrel-cli";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
}

CommandEventLoop::~CommandEventLoop() = default;

}  // namespace vestrel

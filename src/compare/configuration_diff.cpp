#include "compare/configuration_diff.h"

#include "compare/side_diffs.h"
#include "inspect/bank_decoder.h"
#include "platform/text.h"
#include "project/comm_parameters.h"

#include <algorithm>
#include <cstring>

namespace vestrel::compare {

namespace {

// The position of a pargen.xml element among kCommParameterElements.
std::optional<std::size_t> ElementIndex(const char* element) {
    for (std::size_t i = 0; i < kCommParameterElements.size(); ++i)
        if (std::strcmp(kCommParameterElements[i].name, element) == 0) return i;
    return std::nullopt;
}

// Each setting as the decoder words it, with the project's code; where the
// banks agree, the number two projects typed differently is a change that
// never reaches the device (a TO_ModReg above 255, ...).
void CompareSettings(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    const std::vector<SettingRow> a = DecodedSettings(old.model->Banks(), false);
    const std::vector<SettingRow> b = DecodedSettings(now.model->Banks(), false);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i].value != b[i].value) {
            out.changes.push_back({Topic::Setting, a[i].name + ": " + a[i].value + " -> " + b[i].value});
            continue;
        }
        const std::optional<std::size_t> e = ElementIndex(a[i].element);
        if (!e || !old.project || !now.project) continue;
        const std::optional<std::int64_t> x = old.project->settings[*e];
        const std::optional<std::int64_t> y = now.project->settings[*e];
        if (x && y && *x != *y)
            out.changes.push_back({Topic::Setting,
                                   a[i].name + ": " + a[i].element + " " + std::to_string(*x) + " -> " +
                                       std::to_string(*y) +
                                       NeverReaches("the banks hold " + a[i].value + " either way"),
                                   false});
    }
}

std::string StampOf(const DecodedBanks& banks) { return DecodedSettings(banks, true).back().value; }

// Whether the stamps differ; a change with --stamps, a note otherwise.
bool CompareStamps(const ComparedSide& old, const ComparedSide& now, const DiffOptions& options, Comparison& out) {
    if (!old.HasStamp() || !now.HasStamp()) {
        if (options.stamps)
            out.notes.push_back(std::string("--stamps compares no compile stamps: ") +
                                (old.HasStamp() ? "new" : "old") +
                                " is a project folder, which has none until it is compiled");
        return false;
    }
    const DecodedBanks& a = old.model->Banks();
    const DecodedBanks& b = now.model->Banks();
    if (a.packedDate == b.packedDate && a.packedTime == b.packedTime) return false;
    const std::string text = "Compile stamp: " + StampOf(a) + " -> " + StampOf(b);
    if (options.stamps)
        out.changes.push_back({Topic::Stamp, text});
    else
        out.notes.push_back("the compile stamps differ, which counts as a change only with --stamps: " + text);
    return true;
}

}  // namespace

std::string NeverReaches(const std::string& why) { return " (never reaches the device: " + why + ")"; }

std::size_t Comparison::NotReachingDevice() const {
    return static_cast<std::size_t>(
        std::count_if(changes.begin(), changes.end(), [](const Change& c) { return !c.reachesDevice; }));
}

Comparison CompareSides(const ComparedSide& old, const ComparedSide& now, const DiffOptions& options) {
    Comparison out;
    CompareOutsideBanks(old, now, out);
    CompareSettings(old, now, out);
    CompareFrames(old, now, out);
    CompareSignals(old, now, out);
    CompareBankBytes(old, now, out);
    const bool stamps = CompareStamps(old, now, options, out);
    if (out.changes.empty() && !stamps && old.kind == now.kind && old.digestText != now.digestText)
        out.notes.push_back("the files differ, but not in what they configure: in how they are written only");
    return out;
}

std::string CountText(const Comparison& comparison) {
    const std::size_t all = comparison.changes.size();
    if (all == 0) return "No changes";
    std::string text = Plural(all, "change", "changes");
    const std::size_t off = comparison.NotReachingDevice();
    if (off == 0) return text;
    if (all == 1) return text + ", which never reaches the device";
    return text + ", " + std::to_string(off) + " of them never " + (off == 1 ? "reaches" : "reach") + " the device";
}

}  // namespace vestrel::compare

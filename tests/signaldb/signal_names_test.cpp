// The one grammar of signal names: lists of NAME=VALUE and of names, and
// which imported signal a name stands for.
#include "signaldb/signal_names.h"

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

TEST(SignalNames, ListsOfValuesAndOfNames) {
    const auto taken = ParseSignalValues(" Target velocity = -1500, Drive.Torque=2.5e1\tMode=on ");
    ASSERT_TRUE(taken) << taken.Why();
    ASSERT_EQ(taken->size(), 3u);
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"Target velocity", "-1500"}, {"Drive.Torque", "2.5e1"}, {"Mode", "on"}};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ((*taken)[i].name, pairs[i].first);
        EXPECT_EQ((*taken)[i].value, pairs[i].second);
    }
    const std::vector<std::pair<std::string, std::string>> refused{
        {"", "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks)"},
        {"Speed", "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks), not 'Speed'"},
        {"=5", "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks), not '=5'"},
        {"A=1=2", "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks), not 'A=1=2'"},
        {"Speed=", "'Speed=' is not NAME=VALUE: the value is missing"},
        {"A=1, A = 2", "A is given twice"},
        {"A=1,", "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks), not 'A=1,': a "
                 "comma with no pair after it"},
    };
    for (const auto& [text, reason] : refused) {
        const auto list = ParseSignalValues(text);
        EXPECT_FALSE(list) << text;
        EXPECT_EQ(list.Why(), reason) << text;
    }
    const auto names = ParseSignalNames(" Target velocity ,Drive.Speed,Target velocity");
    ASSERT_TRUE(names) << names.Why();
    EXPECT_EQ(*names, (std::vector<std::string>{"Target velocity", "Drive.Speed"}));
    EXPECT_EQ(ParseSignalNames("a,,b").Why(), "signal names are separated by commas, not 'a,,b'");
    EXPECT_EQ(ParseSignalNames("a=1").Why(), "'a=1' is no signal name");
}

SignalFile TwoDrives() {
    SignalFile file;
    const auto message = [&](const char* name, FrameDirection d, std::vector<const char*> signals) {
        ImportedMessage m;
        m.name = name;
        m.direction = d;
        for (const char* s : signals) {
            ImportedSignal i;
            i.signal.name = s;
            m.signalList.push_back(i);
        }
        file.messages.push_back(m);
    };
    message("Left", FrameDirection::Transmit, {"Value", "Target velocity"});
    message("Right", FrameDirection::Transmit, {"Value"});
    message("Drive", FrameDirection::Receive, {"Speed", "A.B"});
    return file;
}

TEST(SignalNames, ANameStandsForOneSignalOrSaysWhyNot) {
    const SignalFile file = TwoDrives();
    const auto t = FrameDirection::Transmit;
    const struct {
        std::optional<FrameDirection> direction;
        const char* name;
        const char* found;  // MESSAGE.SIGNAL, or the reason
    } kCases[] = {
        {t, "Target velocity", "Left.Target velocity"},
        {t, "Left.Value", "Left.Value"},
        {t, "Right.Value", "Right.Value"},
        {t, "Value", "Value is a signal of Left and Right: name it Left.Value or Right.Value"},
        {std::nullopt, "Speed", "Drive.Speed"},
        {std::nullopt, "A.B", "Drive.A.B"},
        {std::nullopt, "Drive.A.B", "Drive.A.B"},
        {t, "Speed", "Speed is a signal of a frame the gateway receives, not one it transmits"},
        {FrameDirection::Receive, "Value", "Value is a signal of a frame the gateway transmits, not one it receives"},
        {t, "Nothing", "no imported transmit signal is named Nothing"},
        {std::nullopt, "Left.Nothing", "no imported signal is named Left.Nothing"},
    };
    for (const auto& c : kCases) {
        const Result<SignalRef> found = FindSignal(file, c.direction, c.name);
        EXPECT_EQ(found ? found->message->name + "." + found->signal->signal.name : found.Why(), c.found) << c.name;
    }
    EXPECT_EQ(ShownSignalNames(file),
              (std::vector<std::string>{"Left.Value", "Target velocity", "Right.Value", "Speed", "A.B"}));
}

}  // namespace
}  // namespace vestrel::signaldb

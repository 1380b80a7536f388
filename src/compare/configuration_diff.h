#pragma once

// What changes between two configurations, in the gateway's words, one
// change a line: the base image, the communication settings, the frames and
// registers of each direction, the imported signals, and bank bytes that no
// field explains. Plain C++, shared by vestrel-cli's diff, its update and the
// firmware update dialog.

#include "compare/compared_side.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vestrel::compare {

// What a change speaks of; changes come in this order.
enum class Topic { BaseImage, Setting, Frame, Register, Signal, BankBytes, Stamp };

struct Change {
    Topic topic = Topic::Setting;
    // One line, not yet escaped for where it goes: "receive frame 2 "Motor
    // temperatures" (COB-ID 0x281): Dimensin 4 -> 8".
    std::string text;
    // False for what the device never receives: a Mnemonic, the high byte of
    // TO_ModReg, a register number's bits above 16, signals.xml. The line
    // says why.
    bool reachesDevice = true;
};

struct DiffOptions {
    bool stamps = false;  // differing compile stamps are a change
};

struct Comparison {
    std::vector<Change> changes;
    // What is said but is no change: duplicate COB-IDs and the frame the
    // lookup selects, compile stamps when not counted, text-only
    // differences, what could not be compared.
    std::vector<std::string> notes;

    std::size_t NotReachingDevice() const;
};

// Compares `now` with `old` by meaning: frames are matched by COB-ID (the
// k-th frame with a COB-ID on one side with the k-th on the other; frames
// left over at the same position are one frame whose COB-ID changed),
// registers by number, each fed from or feeding the frame it names, so that
// a frame that moved changes none of its registers. Whatever differs in the
// bytes of banks 1 and 2 outside the stamps is a change: either a field's,
// or named by its offsets.
Comparison CompareSides(const ComparedSide& old, const ComparedSide& now, const DiffOptions& options = {});

// "3 changes, 1 of which never reaches the device", "1 change", "No changes".
std::string CountText(const Comparison& comparison);

}  // namespace vestrel::compare

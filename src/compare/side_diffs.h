#pragma once

// The parts of a comparison, one file each, which CompareSides puts together
// in the order of the topics.

#include "compare/configuration_diff.h"

#include <string>

namespace vestrel::compare {

// The frames of both directions, their registers, and the duplicate COB-IDs
// of each side (frame_diff.cpp).
void CompareFrames(const ComparedSide& old, const ComparedSide& now, Comparison& out);

// The imported signals of two project folders (signal_diff.cpp).
void CompareSignals(const ComparedSide& old, const ComparedSide& now, Comparison& out);

// The header, end record and data outside banks 1 and 2 of two images
// (bank_bytes_diff.cpp).
void CompareOutsideBanks(const ComparedSide& old, const ComparedSide& now, Comparison& out);

// The bytes of banks 1 and 2 that no listed change explains (bank_bytes_diff.cpp).
void CompareBankBytes(const ComparedSide& old, const ComparedSide& now, Comparison& out);

// " (never reaches the device: <why>)", the mark of such a change.
std::string NeverReaches(const std::string& why);

}  // namespace vestrel::compare

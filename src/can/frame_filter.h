#pragma once

#include "platform/result.h"

#include "can/can_frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which frames a tool takes, in candump's filter syntax.
namespace vestrel::can {

// "181:7FF" takes a frame when (id & 7FF) == (181 & 7FF); "200~700" takes
// one when (id & 700) != (200 & 700). An identifier of three hex digits
// selects standard frames, one of eight digits extended frames; an inverted
// filter takes every frame of the other format.
struct FrameFilter {
    std::uint32_t id = 0;
    std::uint32_t mask = 0;
    bool extended = false;
    bool inverted = false;  // "~": everything but what the mask selects
};

// Reads a comma-separated list of filters, "181:7FF,200~700"; nothing and
// the reason (quoting the text as typed) otherwise.
Result<std::vector<FrameFilter>> ParseFrameFilters(std::string_view text);

// Whether a frame passes: as candump does, when any filter takes it; every
// frame passes an empty list. Error frames pass no filter.
bool Passes(const std::vector<FrameFilter>& filters, const CanFrame& frame);

}  // namespace vestrel::can

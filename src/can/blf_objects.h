#pragma once

#include "can/log_formats.h"
#include "can/log_input.h"
#include "platform/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vestrel::can {

// The objects of a Vector BLF log (binary logging format), front to back.
// The file header ("LOGG", its size, the start of the measurement) is
// followed by objects ("LOBJ", header size and version, object size and
// type, then flags and a time stamp in 10 us or 1 ns). LOG_CONTAINER objects
// hold further objects, stored or compressed with zlib, and an object may
// continue from one container into the next. CAN_MESSAGE, CAN_MESSAGE2,
// CAN_FD_MESSAGE and CAN_FD_MESSAGE_64 give frames, the CAN error objects
// error frames; every other object is counted and passed over. Each object
// is placed at its own offset in the file, or for one of a compressed
// container at the container's and where in its unpacked data it starts.
// Memory stays at one container, however long the log: a container may not
// unpack to more than 16 MiB.
class BlfObjects final : public LogParser {
public:
    // Reads the file header. `input` must start with "LOGG".
    explicit BlfObjects(LogInput& input);
    ~BlfObjects() override;

    // Whether a file's first bytes are a BLF file's.
    static bool IsOwnStart(std::string_view head);

    // The next frame, or a damaged object or container (`line` holding its
    // byte offset in the file).
    LogStep Next(LogFrame& frame, BrokenLine& broken) override;

    // The objects read, and those that are neither frames nor broken.
    std::uint64_t Records() const override { return objects_; }
    std::uint64_t OtherRecords() const override { return otherObjects_; }

private:
    class Inflater;
    enum class Object { Frame, Broken, Other, NeedMore };

    // Where bytes of the inner stream, from `start` on, came from: a plain
    // object or a stored container's data at `offset` in the file, or a
    // compressed container at `offset`.
    struct Segment {
        std::int64_t start = 0;  // before the front of inner_ where the front is inside it
        std::uint64_t offset = 0;
        bool compressed = false;
    };
    struct Place {
        std::uint64_t offset = 0;
        std::optional<std::uint64_t> unpacked;
    };
    Place PlaceOf(std::size_t at) const;
    void AddSegment(std::uint64_t offset, bool compressed);
    void ClearInner();

    Object TakeInnerObject(LogFrame& frame, std::string& why);
    Object TakeFrame(std::uint32_t type, std::string_view object, LogFrame& frame, std::string& why);
    // Reads the next object of the file: a container's content or a plain
    // object goes to the inner stream. False at the end of the file; a
    // failure for a damaged object or container, after which reading goes on.
    Result<bool> ReadOuterObject();
    Result<void> ReadContainer(std::uint32_t objectSize);
    bool FindNextObject();
    void CompactInner();

    LogInput& input_;
    std::unique_ptr<Inflater> inflater_;
    std::int64_t startMicros_ = 0;  // the measurement's start, or 0 when the header has none
    std::vector<char> inner_;       // objects unpacked from containers, from innerAt_ on
    std::size_t innerAt_ = 0;
    std::vector<Segment> segments_;  // of inner_, in order
    // The object whose bytes are still being gathered, [pendingStart_,
    // pendingEnd_) in inner_; both 0 when there is none or its size is not
    // known yet.
    std::int64_t pendingStart_ = 0;
    std::int64_t pendingEnd_ = 0;
    Place place_;  // of the object taken last
    std::uint64_t innerSkip_ = 0;    // bytes of an over-large object still to pass over
    std::uint64_t outerOffset_ = 0;  // where the container being read began in the file
    std::uint64_t objects_ = 0;
    std::uint64_t otherObjects_ = 0;
    bool atEnd_ = false;
    unsigned channelNumber_ = 0;  // the channel of the last frame, and its text
    char channel_[8] = {};
    std::size_t channelLength_ = 0;
};

}  // namespace vestrel::can

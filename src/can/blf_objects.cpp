#include "can/blf_objects.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>

namespace vestrel::can {

namespace {

constexpr std::string_view kObjectSignature = "LOBJ";
constexpr std::size_t kBaseHeaderBytes = 16;       // signature, header size and version, object size and type
constexpr std::size_t kObjectHeaderBytes = 32;     // version 1: flags, client, object version, time stamp
constexpr std::size_t kContainerHeaderBytes = 32;  // base header, compression method, unpacked size
constexpr std::size_t kFileHeaderMinBytes = 72;
constexpr std::size_t kMaxContainerBytes = 16 << 20;
constexpr std::size_t kMaxInnerObjectBytes = 1 << 20;  // larger objects (none is a frame) are passed over
constexpr std::uint64_t kMaxZlibRatio = 1032;          // deflate unpacks no byte to more than this

constexpr std::uint32_t kCanMessage = 1;
constexpr std::uint32_t kCanError = 2;
constexpr std::uint32_t kLogContainer = 10;
constexpr std::uint32_t kCanErrorExt = 73;
constexpr std::uint32_t kCanMessage2 = 86;
constexpr std::uint32_t kCanFdMessage = 100;
constexpr std::uint32_t kCanFdMessage64 = 101;
constexpr std::uint32_t kCanFdError64 = 104;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kZlib = 2;
constexpr std::uint32_t kTimeTenMicros = 1;  // object flags: the time stamp counts 10 us, else 1 ns
constexpr std::uint32_t kExtendedId = 0x80000000;
constexpr std::uint8_t kRemote = 0x80;                            // CAN_MESSAGE, CAN_FD_MESSAGE flags
constexpr std::uint8_t kFdEdl = 0x1, kFdBrs = 0x2, kFdEsi = 0x4;  // CAN_FD_MESSAGE's CAN FD flags
constexpr std::uint32_t kFd64Remote = 0x10, kFd64Edl = 0x1000, kFd64Brs = 0x2000, kFd64Esi = 0x4000;

std::uint64_t Little(const char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(p[i]);
    return value;
}
std::uint16_t U16(std::string_view s, std::size_t at) { return static_cast<std::uint16_t>(Little(s.data() + at, 2)); }
std::uint32_t U32(std::string_view s, std::size_t at) { return static_cast<std::uint32_t>(Little(s.data() + at, 4)); }
std::uint64_t U64(std::string_view s, std::size_t at) { return Little(s.data() + at, 8); }

// The measurement's start, a SYSTEMTIME in the recording machine's local
// time, as microseconds since the epoch; 0 when the header leaves it empty.
std::int64_t StartMicros(std::string_view header) {
    if (header.size() < 56 || U16(header, 40) == 0) return 0;
    std::tm t{};
    t.tm_year = U16(header, 40) - 1900;
    t.tm_mon = U16(header, 42) - 1;
    t.tm_mday = U16(header, 46);
    t.tm_hour = U16(header, 48);
    t.tm_min = U16(header, 50);
    t.tm_sec = U16(header, 52);
    t.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&t);
    if (seconds <= 0) return 0;  // not a time mktime can give, or before 1970
    return static_cast<std::int64_t>(seconds) * 1000000 + std::int64_t{U16(header, 54)} * 1000;
}

// An object's time stamp, in 10 us or in 1 ns as its flags say, as
// microseconds since the epoch (or since the start where the file header
// names none); nothing when that does not fit 64 bits.
std::optional<std::int64_t> ObjectMicros(std::string_view object, std::int64_t startMicros) {
    const std::uint64_t stamp = U64(object, 24);
    const bool tenMicros = U32(object, 16) == kTimeTenMicros;
    if (tenMicros && stamp > static_cast<std::uint64_t>(INT64_MAX) / 10) return std::nullopt;
    const auto since = static_cast<std::int64_t>(tenMicros ? stamp * 10 : stamp / 1000);
    std::int64_t micros = 0;
    if (__builtin_add_overflow(since, startMicros, &micros)) return std::nullopt;
    return micros;
}

bool SetId(std::uint32_t raw, CanFrame& frame) {
    frame.extended = raw & kExtendedId;
    frame.id = raw & ~kExtendedId;
    return frame.id <= (frame.extended ? kMaxExtendedId : kMaxStandardId);
}

void SetData(std::string_view bytes, std::size_t length, CanFrame& frame) {
    frame.length = static_cast<std::uint8_t>(length);
    std::memcpy(frame.data.data(), bytes.data(), length);
}

}  // namespace

class BlfObjects::Inflater {
public:
    Inflater() { ok_ = inflateInit(&stream_) == Z_OK; }
    ~Inflater() { inflateEnd(&stream_); }
    // Unpacks `packed` bytes of `input` into `out`, which must be filled
    // exactly; passes over the packed bytes either way.
    Result<void> Run(LogInput& input, std::uint32_t packed, char* out, std::size_t size) {
        if (!ok_ || inflateReset(&stream_) != Z_OK) return Fail(input, packed, "zlib cannot start");
        stream_.next_out = reinterpret_cast<Bytef*>(out);
        stream_.avail_out = static_cast<uInt>(size);
        int rc = Z_OK;
        while (packed > 0 && rc == Z_OK) {
            const std::string_view piece = input.Take(packed);
            if (piece.empty()) return Fail(input, 0, "the file ends inside a container");
            packed -= static_cast<std::uint32_t>(piece.size());
            stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
            stream_.avail_in = static_cast<uInt>(piece.size());
            rc = inflate(&stream_, Z_NO_FLUSH);
            if (rc == Z_BUF_ERROR && stream_.avail_out == 0) rc = Z_DATA_ERROR;
        }
        if (rc != Z_STREAM_END || stream_.avail_out != 0)
            return Fail(input, packed,
                        rc == Z_OK || rc == Z_STREAM_END ? "it unpacks to another size than its header says"
                                                         : "its data are damaged");
        input.Skip(packed);
        return {};
    }

private:
    static Failure Fail(LogInput& input, std::uint32_t packed, const char* reason) {
        input.Skip(packed);
        return Failure{std::string("a compressed container does not unpack: ") + reason};
    }

    z_stream stream_{};
    bool ok_ = false;
};

BlfObjects::BlfObjects(LogInput& input) : input_(input), inflater_(std::make_unique<Inflater>()) {
    const std::string_view header = input_.Peek(kFileHeaderMinBytes);
    startMicros_ = StartMicros(header);
    const std::uint32_t size = header.size() >= 8 ? U32(header, 4) : 0;
    input_.Skip(size >= kFileHeaderMinBytes && size <= kMaxLogLineBytes ? size : kFileHeaderMinBytes);
}

BlfObjects::~BlfObjects() = default;

bool BlfObjects::IsOwnStart(std::string_view head) { return head.substr(0, 4) == "LOGG"; }

// Every object is counted here, as a frame, broken or other, and so is every
// damage that is no object (a container that does not unpack, bytes where no
// object starts): the counts add up to the objects.
LogStep BlfObjects::Next(LogFrame& frame, BrokenLine& broken) {
    std::string why;
    for (;;) {
        switch (TakeInnerObject(frame, why)) {
            case Object::Frame:
                ++objects_;
                frame.line = place_.offset;
                return LogStep::Frame;
            case Object::Other:
                ++objects_;
                ++otherObjects_;
                continue;
            case Object::Broken:
                ++objects_;
                broken = BrokenLine{place_.offset, std::move(why), {}, place_.unpacked};
                return LogStep::Broken;
            case Object::NeedMore: break;
        }
        if (atEnd_) {
            const bool rest = std::any_of(inner_.begin() + static_cast<std::ptrdiff_t>(innerAt_), inner_.end(),
                                          [](char c) { return c != 0; });
            const Place place = PlaceOf(innerAt_);
            ClearInner();
            if (!rest && innerSkip_ == 0) return LogStep::End;
            innerSkip_ = 0;
            ++objects_;
            broken = BrokenLine{place.offset, "the file ends inside an object", {}, place.unpacked};
            return LogStep::Broken;
        }
        const Result<bool> read = ReadOuterObject();
        if (!read) {
            ++objects_;
            broken = BrokenLine{outerOffset_, read.Why(), {}, {}};
            return LogStep::Broken;
        }
        if (!*read) atEnd_ = true;
    }
}

BlfObjects::Place BlfObjects::PlaceOf(std::size_t at) const {
    const auto position = static_cast<std::int64_t>(at);
    const Segment* segment = nullptr;
    for (const Segment& s : segments_)
        if (s.start <= position) segment = &s;
    if (!segment) return {outerOffset_, {}};
    const auto within = static_cast<std::uint64_t>(position - segment->start);
    if (segment->compressed) return {segment->offset, within};
    return {segment->offset + within, {}};
}

void BlfObjects::AddSegment(std::uint64_t offset, bool compressed) {
    const auto start = static_cast<std::int64_t>(inner_.size());
    // A segment that lies wholly inside the object still being gathered
    // holds no object's start and is dropped: an object spread over a
    // million tiny containers keeps two segments, not a million.
    if (segments_.size() >= 2 && segments_.back().start > pendingStart_ && start <= pendingEnd_) segments_.pop_back();
    segments_.push_back(Segment{start, offset, compressed});
}

void BlfObjects::ClearInner() {
    inner_.clear();
    innerAt_ = 0;
    segments_.clear();
    pendingStart_ = pendingEnd_ = 0;
}

bool BlfObjects::FindNextObject() {
    for (;;) {
        const std::string_view window = input_.Peek(kMaxLogLineBytes);
        const std::size_t at = window.find(kObjectSignature);
        if (at != std::string_view::npos) return input_.Skip(at);
        if (window.size() < kObjectSignature.size()) {
            input_.Skip(window.size());
            return false;
        }
        input_.Skip(window.size() - (kObjectSignature.size() - 1));
    }
}

Result<bool> BlfObjects::ReadOuterObject() {
    std::string_view head = input_.Peek(kBaseHeaderBytes + 8);
    if (head.empty()) return false;
    outerOffset_ = input_.Offset();
    // Objects are padded; the next one starts within a few bytes.
    const std::size_t at = head.find(kObjectSignature);
    if (at == std::string_view::npos || at >= 8) {
        const bool damaged = std::any_of(head.begin(), head.end(), [](char c) { return c != 0; });
        const bool found = FindNextObject();
        if (damaged) return Failure{"no object starts here"};
        return found;
    }
    input_.Skip(at);
    outerOffset_ = input_.Offset();
    head = input_.Peek(kBaseHeaderBytes);
    if (head.size() < kBaseHeaderBytes) {
        input_.Skip(head.size());
        ClearInner();  // an object that was to continue here is lost with it
        return Failure{"the file ends inside an object"};
    }
    const std::uint16_t headerSize = U16(head, 4);
    const std::uint32_t objectSize = U32(head, 8);
    const std::uint32_t type = U32(head, 12);
    if (objectSize < kBaseHeaderBytes || headerSize < kBaseHeaderBytes || headerSize > objectSize) {
        input_.Skip(kObjectSignature.size());
        FindNextObject();
        return Failure{"the object's sizes do not fit together"};
    }
    if (type == kLogContainer) {
        if (Result<void> read = ReadContainer(objectSize); !read) return Failure{read.Why()};
        return true;
    }
    if (objectSize > kMaxInnerObjectBytes) {  // passed over unread
        ++objects_;
        ++otherObjects_;
        if (input_.Skip(objectSize)) return true;
        return Failure{"the file ends inside an object"};
    }
    // An object outside any container joins the inner stream as it is.
    CompactInner();
    AddSegment(outerOffset_, false);
    std::uint32_t left = objectSize;
    while (left > 0) {
        const std::string_view piece = input_.Take(left);
        if (piece.empty()) break;
        inner_.insert(inner_.end(), piece.begin(), piece.end());
        left -= static_cast<std::uint32_t>(piece.size());
    }
    return true;
}

Result<void> BlfObjects::ReadContainer(std::uint32_t objectSize) {
    const std::string_view head = input_.Peek(kContainerHeaderBytes);
    if (head.size() < kContainerHeaderBytes || objectSize < kContainerHeaderBytes) {
        input_.Skip(objectSize);
        return Failure{"the container's header is cut off"};
    }
    const std::uint16_t method = U16(head, 16);
    const std::uint32_t unpacked = U32(head, 24);
    const std::uint32_t packed = objectSize - static_cast<std::uint32_t>(kContainerHeaderBytes);
    input_.Skip(kContainerHeaderBytes);
    CompactInner();
    AddSegment(method == kStored ? outerOffset_ + kContainerHeaderBytes : outerOffset_, method != kStored);
    const std::size_t base = inner_.size();
    Result<void> read;
    if ((method == kZlib ? unpacked : packed) > kMaxContainerBytes) {
        input_.Skip(packed);
        read = Failure{"a container holds more than 16 MiB"};
    } else if (method == kZlib && unpacked > std::uint64_t{packed} * kMaxZlibRatio + 64) {
        input_.Skip(packed);
        read = Failure{"a compressed container does not unpack: its header gives a size its data cannot have"};
    } else if (method == kZlib) {
        inner_.resize(base + unpacked);
        read = inflater_->Run(input_, packed, inner_.data() + base, unpacked);
    } else if (method == kStored) {
        inner_.resize(base + packed);
        std::size_t done = 0;
        while (done < packed) {
            const std::string_view piece = input_.Take(packed - done);
            if (piece.empty()) break;
            std::memcpy(inner_.data() + base + done, piece.data(), piece.size());
            done += piece.size();
        }
        inner_.resize(base + done);
    } else {
        input_.Skip(packed);
        read = Failure{"a container compressed with method " + std::to_string(method) + ", which is not zlib"};
    }
    if (!read) {
        // The objects that continue into this container are lost with it.
        ClearInner();
        innerSkip_ = 0;
    }
    return read;
}

void BlfObjects::CompactInner() {
    if (innerAt_ == 0) return;
    inner_.erase(inner_.begin(), inner_.begin() + static_cast<std::ptrdiff_t>(innerAt_));
    // Segments wholly read are dropped; the one the read position is in
    // keeps its place, its start before the new front.
    const auto front = static_cast<std::int64_t>(innerAt_);
    std::size_t kept = 0;
    while (kept + 1 < segments_.size() && segments_[kept + 1].start <= front) ++kept;
    segments_.erase(segments_.begin(), segments_.begin() + static_cast<std::ptrdiff_t>(kept));
    for (Segment& s : segments_) s.start -= front;
    pendingStart_ -= front;
    pendingEnd_ -= front;
    innerAt_ = 0;
}

BlfObjects::Object BlfObjects::TakeInnerObject(LogFrame& frame, std::string& why) {
    pendingStart_ = pendingEnd_ = 0;
    if (innerSkip_ > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(innerSkip_, inner_.size() - innerAt_));
        innerAt_ += n;
        innerSkip_ -= n;
        if (innerSkip_ > 0) return Object::NeedMore;
    }
    const std::string_view rest(inner_.data() + innerAt_, inner_.size() - innerAt_);
    const std::size_t at =
        rest.substr(0, 4) == kObjectSignature ? 0 : rest.substr(0, kBaseHeaderBytes + 8).find(kObjectSignature);
    if (at == std::string_view::npos || at >= 8) {
        if (rest.size() < kBaseHeaderBytes + 8) return Object::NeedMore;
        place_ = PlaceOf(innerAt_);
        const std::size_t next = rest.find(kObjectSignature, 1);
        innerAt_ += next == std::string_view::npos ? rest.size() - (kObjectSignature.size() - 1) : next;
        why = "no object starts here";
        return Object::Broken;
    }
    const std::string_view object = rest.substr(at);
    if (object.size() < kBaseHeaderBytes) return Object::NeedMore;
    const std::uint16_t headerSize = U16(object, 4);
    const std::uint32_t objectSize = U32(object, 8);
    place_ = PlaceOf(innerAt_ + at);
    if (objectSize < kBaseHeaderBytes || headerSize < kBaseHeaderBytes || headerSize > objectSize) {
        innerAt_ += at + kObjectSignature.size();
        why = "the object's sizes do not fit together";
        return Object::Broken;
    }
    if (objectSize > object.size()) {
        if (objectSize <= kMaxInnerObjectBytes) {
            pendingStart_ = static_cast<std::int64_t>(innerAt_ + at);
            pendingEnd_ = pendingStart_ + objectSize;
            return Object::NeedMore;
        }
        innerSkip_ = objectSize - object.size();
        innerAt_ = inner_.size();
        return Object::Other;
    }
    innerAt_ += at + objectSize;
    return TakeFrame(U32(object, 12), object.substr(0, objectSize), frame, why);
}

BlfObjects::Object BlfObjects::TakeFrame(std::uint32_t type, std::string_view object, LogFrame& out, std::string& why) {
    const bool error = type == kCanError || type == kCanErrorExt || type == kCanFdError64;
    if (!error && type != kCanMessage && type != kCanMessage2 && type != kCanFdMessage && type != kCanFdMessage64)
        return Object::Other;
    const std::size_t headerSize = U16(object, 4);
    const std::size_t need = type == kCanFdMessage64 ? 40 : type == kCanFdMessage ? 20 : error ? 2 : 16;
    if (headerSize < kObjectHeaderBytes || object.size() < headerSize + need) {
        why = "a CAN object too short for its type";
        return Object::Broken;
    }
    const std::string_view p = object.substr(headerSize);
    const std::optional<std::int64_t> micros = ObjectMicros(object, startMicros_);
    if (!micros) {
        why = "the time stamp is out of range";
        return Object::Broken;
    }
    out.frame = CanFrame{};
    out.hasTime = true;
    out.time = *micros;
    const unsigned channel =
        type == kCanFdMessage64 || type == kCanFdError64 ? static_cast<unsigned char>(p[0]) : U16(p, 0);
    if (channel != channelNumber_ || channelLength_ == 0) {
        channelNumber_ = channel;
        channelLength_ = 0;
        char digits[8];
        unsigned rest = channel;
        do {
            digits[channelLength_++] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest > 0);
        for (std::size_t i = 0; i < channelLength_; ++i) channel_[i] = digits[channelLength_ - 1 - i];
    }
    out.channel = std::string_view(channel_, channelLength_);
    CanFrame& frame = out.frame;
    if (error) {
        frame.error = true;
        return Object::Frame;
    }
    bool inRange = true;
    if (type == kCanFdMessage64) {
        const std::uint32_t flags = U32(p, 12);
        inRange = SetId(U32(p, 4), frame);
        frame.fd = flags & kFd64Edl;
        frame.bitRateSwitch = frame.fd && (flags & kFd64Brs);
        frame.errorStateIndicator = frame.fd && (flags & kFd64Esi);
        frame.remote = !frame.fd && (flags & kFd64Remote);
        const std::size_t valid = std::min<std::size_t>(static_cast<unsigned char>(p[2]), p.size() - 40);
        SetData(p.substr(40), std::min<std::size_t>(valid, frame.fd ? kMaxFdDataBytes : kMaxDataBytes), frame);
    } else {
        const auto flags = static_cast<std::uint8_t>(p[2]);
        const auto dlc = static_cast<std::uint8_t>(p[3]);
        inRange = SetId(U32(p, 4), frame);
        const std::uint8_t fdFlags = type == kCanFdMessage ? static_cast<std::uint8_t>(p[13]) : 0;
        frame.fd = fdFlags & kFdEdl;
        frame.bitRateSwitch = frame.fd && (fdFlags & kFdBrs);
        frame.errorStateIndicator = frame.fd && (fdFlags & kFdEsi);
        frame.remote = !frame.fd && (flags & kRemote);
        const std::size_t dataAt = type == kCanFdMessage ? 20 : 8;
        std::size_t length = type == kCanFdMessage ? static_cast<unsigned char>(p[14]) : dlc;
        const auto max = static_cast<std::size_t>(frame.fd ? kMaxFdDataBytes : kMaxDataBytes);
        length = std::min({length, max, p.size() - dataAt});
        if (frame.remote)
            frame.length = static_cast<std::uint8_t>(std::min<std::size_t>(dlc, kMaxDataBytes));
        else
            SetData(p.substr(dataAt), length, frame);
    }
    if (!inRange) {
        why = "the identifier is out of range";
        return Object::Broken;
    }
    return Object::Frame;
}

}  // namespace vestrel::can

#include "gateway/traffic_counts.h"

#include <algorithm>
#include <cmath>

namespace vestrel::gateway {

namespace {

constexpr std::size_t kSketchSlots = 1024;
constexpr int kDistinctBits = 12;  // 4096 registers: about 1.6 % error
constexpr std::uint32_t kNotSeen = 0xFFFFFFFF;

std::uint64_t Mixed(std::uint64_t x) {  // splitmix64's finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

void CountInto(CobIdTraffic& t, const can::CanFrame& frame) {
    ++t.frames;
    if (frame.fd)
        ++t.fd;
    else if (frame.remote)
        ++t.remote;
    else
        ++t.dataFramesByLength[std::min<std::size_t>(frame.length, can::kMaxDataBytes)];
}

std::uint64_t Minus(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

}  // namespace

TrafficCounts::TrafficCounts(const GatewayModel& model)
    : standardSlot_(kMaxStandardId + 1, -1), namedStandard_(kMaxStandardId + 1), distinct_(1u << kDistinctBits) {
    const bool extended = UsesExtendedIds(model.Mode());
    for (const GatewayDirection* direction : {&model.Receive(), &model.Transmit()})
        for (const GatewayFrame& frame : direction->frames) {
            if (extended)
                namedExtendedSlot_.emplace(frame.cobId, kNotSeen);
            else if (frame.cobId <= kMaxStandardId)
                namedStandard_[frame.cobId] = true;
        }
}

void TrafficCounts::Count(const can::CanFrame& frame) {
    if (!frame.extended && frame.id <= kMaxStandardId) {
        std::int32_t& slot = standardSlot_[frame.id];
        if (slot < 0) {
            slot = static_cast<std::int32_t>(exact_.size());
            exact_.push_back(CobIdTraffic{frame.id, false});
            named_.push_back(namedStandard_[frame.id]);
        }
        CountInto(exact_[static_cast<std::size_t>(slot)], frame);
        return;
    }
    if (const auto named = namedExtendedSlot_.find(frame.id); named != namedExtendedSlot_.end()) {
        if (named->second == kNotSeen) {
            named->second = static_cast<std::uint32_t>(exact_.size());
            exact_.push_back(CobIdTraffic{frame.id, true});
            named_.push_back(true);
        }
        CountInto(exact_[named->second], frame);
        return;
    }
    ++otherExtendedFrames_;
    const std::uint64_t hash = Mixed(frame.id);
    std::uint8_t& reg = distinct_[hash >> (64 - kDistinctBits)];
    const auto rank = static_cast<std::uint8_t>(__builtin_clzll(hash << kDistinctBits | 1) + 1);
    reg = std::max(reg, rank);
    const std::uint32_t entry = SketchEntry(frame.id);
    CountInto(sketch_[entry], frame);
    SiftDown(heapAt_[entry]);
}

std::uint32_t TrafficCounts::SketchEntry(std::uint32_t id) {
    if (const auto it = sketchSlot_.find(id); it != sketchSlot_.end()) return it->second;
    if (sketch_.size() < kSketchSlots) {
        const auto entry = static_cast<std::uint32_t>(sketch_.size());
        sketch_.push_back(CobIdTraffic{id, true});
        heapAt_.push_back(static_cast<std::uint32_t>(heap_.size()));
        heap_.push_back(entry);
        sketchSlot_.emplace(id, entry);
        SiftUp(heap_.size() - 1);
        return entry;
    }
    // The least counted identifier gives its place, and its count, to the new one.
    const std::uint32_t entry = heap_[0];
    CobIdTraffic& t = sketch_[entry];
    sketchSlot_.erase(t.id);
    sketchSlot_.emplace(id, entry);
    const std::uint64_t inherited = t.frames;
    t = CobIdTraffic{id, true};
    t.frames = t.overcount = inherited;
    replaced_ = true;
    return entry;
}

void TrafficCounts::SiftDown(std::size_t at) {
    for (;;) {
        std::size_t least = at;
        for (std::size_t child = 2 * at + 1; child <= 2 * at + 2 && child < heap_.size(); ++child)
            if (sketch_[heap_[child]].frames < sketch_[heap_[least]].frames) least = child;
        if (least == at) return;
        std::swap(heap_[at], heap_[least]);
        heapAt_[heap_[at]] = static_cast<std::uint32_t>(at);
        heapAt_[heap_[least]] = static_cast<std::uint32_t>(least);
        at = least;
    }
}

void TrafficCounts::SiftUp(std::size_t at) {
    while (at > 0) {
        const std::size_t parent = (at - 1) / 2;
        if (sketch_[heap_[parent]].frames <= sketch_[heap_[at]].frames) return;
        std::swap(heap_[at], heap_[parent]);
        heapAt_[heap_[at]] = static_cast<std::uint32_t>(at);
        heapAt_[heap_[parent]] = static_cast<std::uint32_t>(parent);
        at = parent;
    }
}

std::uint64_t TrafficCounts::EstimatedOtherExtendedIds() const {
    if (!replaced_) return sketch_.size();
    const double m = static_cast<double>(distinct_.size());
    double sum = 0;
    std::size_t zeros = 0;
    for (std::uint8_t reg : distinct_) {
        sum += std::ldexp(1.0, -reg);
        zeros += reg == 0;
    }
    double estimate = 0.7213 / (1 + 1.079 / m) * m * m / sum;
    if (estimate <= 2.5 * m && zeros > 0) estimate = m * std::log(m / static_cast<double>(zeros));
    return std::max<std::uint64_t>(static_cast<std::uint64_t>(std::llround(estimate)), sketch_.size());
}

TrafficCounts::Listing TrafficCounts::List(std::size_t maxOthers) const {
    Listing listing;
    std::vector<const CobIdTraffic*> others;
    std::uint64_t standardOthers = 0, otherFrames = otherExtendedFrames_;
    for (std::size_t i = 0; i < exact_.size(); ++i) {
        if (named_[i]) {
            listing.traffic.push_back(exact_[i]);
            continue;
        }
        others.push_back(&exact_[i]);
        ++standardOthers;
        otherFrames += exact_[i].frames;
    }
    // An identifier that took another's place is listed only once it came
    // again: a single frame of a log full of random identifiers says nothing.
    for (const CobIdTraffic& t : sketch_)
        if (t.overcount == 0 || t.frames - t.overcount >= 2) others.push_back(&t);
    std::sort(others.begin(), others.end(), [](const CobIdTraffic* a, const CobIdTraffic* b) {
        return a->frames != b->frames       ? a->frames > b->frames
               : a->extended != b->extended ? !a->extended
                                            : a->id < b->id;
    });
    const std::size_t listed = std::min(maxOthers, others.size());
    std::uint64_t listedFrames = 0;
    for (std::size_t i = 0; i < listed; ++i) {
        listing.traffic.push_back(*others[i]);
        listedFrames += others[i]->frames;
        listing.framesEstimated = listing.framesEstimated || others[i]->overcount > 0;
    }
    listing.furtherIds = Minus(standardOthers + EstimatedOtherExtendedIds(), listed);
    listing.furtherFrames = Minus(otherFrames, listedFrames);
    listing.idsEstimated = replaced_;
    std::sort(listing.traffic.begin(), listing.traffic.end(), [](const CobIdTraffic& a, const CobIdTraffic& b) {
        return a.extended != b.extended ? !a.extended : a.id < b.id;
    });
    return listing;
}

}  // namespace vestrel::gateway

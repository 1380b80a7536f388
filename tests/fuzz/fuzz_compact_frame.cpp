// can-utils' compact frame syntax (ID#DATA, ID#R, ID##FDATA) and the text a
// user types or pastes into the preview: what reads as a frame is in range
// and writes back as text that reads as the same frame; the canonical text
// writes back unchanged.

#include "fuzz_can_log.h"

#include "gateway/preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    const std::string_view text = fuzz::AsText(data, size);
    const Result<can::CanFrame> parsed = can::ParseCompactFrame(text);
    if (parsed) {
        const can::CanFrame& frame = *parsed;
        can::LogFrame logged;
        logged.frame = frame;
        if (!frame.error) fuzz::CheckFrame(logged);
        const std::string canonical = can::CompactFrameText(frame);
        const Result<can::CanFrame> again = can::ParseCompactFrame(canonical);
        FUZZ_CHECK(again && *again == frame, "the canonical text reads as another frame: " + canonical);
        FUZZ_CHECK(can::CompactFrameText(*again) == canonical, "the canonical text is not stable");
    } else {
        FUZZ_CHECK(!parsed.Why().empty(), "a refusal without a reason");
    }
    for (const gateway::TypedFrame& typed : gateway::ReadTypedFrames(text)) {
        FUZZ_CHECK(typed.frame || !typed.frame.Why().empty(), "a typed text neither a frame nor refused with a reason");
        FUZZ_CHECK(text.find(typed.text) != std::string_view::npos, "a typed text that is not part of the input");
        if (typed.frame) {
            can::LogFrame logged;
            logged.frame = *typed.frame;
            fuzz::CheckFrame(logged);
        }
    }
    return 0;
}

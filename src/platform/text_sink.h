#pragma once

#include <string_view>

namespace vestrel {

class AtomicFileWriter;

// Where text output goes: a stream, or a file written atomically.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

// Text into a file that takes its place whole or not at all; the writer's
// owner commits it once the run has succeeded.
class AtomicFileSink : public TextSink {
public:
    explicit AtomicFileSink(AtomicFileWriter& writer) : writer_(writer) {}
    void Write(std::string_view text) override;

private:
    AtomicFileWriter& writer_;
};

}  // namespace vestrel

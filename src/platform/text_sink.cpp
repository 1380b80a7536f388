#include "platform/text_sink.h"

#include "platform/file_util.h"

namespace vestrel {

void AtomicFileSink::Write(std::string_view text) { writer_.Write(text); }

}  // namespace vestrel

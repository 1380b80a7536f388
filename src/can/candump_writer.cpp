#include "can/candump_writer.h"

#include "can/can_log_reader.h"
#include "platform/error.h"
#include "platform/file_util.h"

#include <cerrno>

namespace vestrel::can {

CandumpWriter::CandumpWriter(const std::filesystem::path& path, std::string_view interfaceName)
    : path_(path), interface_(LogInterfaceName(interfaceName)) {
    file_ = SystemFile(path, SystemFile::Mode::CreateOrTruncate);
    if (!file_.IsOpen()) throw Error(CannotCreateMessage(path, errno));
}

CandumpWriter::~CandumpWriter() {
    try {
        Flush();
    } catch (const Error&) {
        // The caller that wanted to know has flushed before; nothing is left to tell here.
    }
}

void CandumpWriter::Add(const CanFrame& frame, std::int64_t time) {
    buffer_ += '(';
    AppendTimeText(buffer_, time);
    buffer_ += ") ";
    buffer_ += interface_;
    buffer_ += ' ';
    buffer_ += CompactFrameText(frame);
    buffer_ += '\n';
    ++frames_;
}

void CandumpWriter::Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const std::ptrdiff_t n = file_.WriteSome(buffer_.data() + done, buffer_.size() - done);
        if (n <= 0) {
            const int reason = n < 0 ? errno : ENOSPC;
            buffer_.erase(0, done);
            throw Error(CannotWriteMessage(path_, reason));
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void CandumpWriter::Append(const CanFrame& frame, std::int64_t time) {
    Add(frame, time);
    Flush();
}

std::string LogInterfaceName(std::string_view interface) {
    const std::size_t slash = interface.find_last_of('/');
    if (slash != std::string_view::npos) interface.remove_prefix(slash + 1);
    std::string name;
    for (char c : interface) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                           c == '-' || c == '.';
        name += plain ? c : '_';
    }
    return name.empty() ? "can" : name;
}

}  // namespace vestrel::can

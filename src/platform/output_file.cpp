#include "platform/output_file.h"

#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/text.h"

#include <sys/stat.h>

#include <cerrno>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

// As many links as the system follows in one path.
constexpr int kMaxLinks = 40;


fs::path FolderOf(const fs::path& path) { return path.parent_path().empty() ? fs::path(".") : path.parent_path(); }

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

}  // namespace

fs::path OutputTarget(const fs::path& output) {
    fs::path at = output;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return at;  // a new file, or one whose save says why not
        if (S_ISREG(st.st_mode)) return at;
        if (S_ISDIR(st.st_mode)) throw Error(CannotCreateMessage(at, EISDIR));
        if (!S_ISLNK(st.st_mode)) {
            const char* what = S_ISFIFO(st.st_mode) ? "a named pipe" : S_ISSOCK(st.st_mode) ? "a socket" : "a device";
            throw Error("The file " + QuotedPath(at) + " cannot be written: it is " + what + ", not a file");
        }
        if (links == kMaxLinks) throw Error(CannotCreateMessage(output, ELOOP));
        std::error_code ec;
        const fs::path next = fs::read_symlink(at, ec);
        if (ec) throw Error(CannotCreateMessage(at, ec.value()));
        // The folder the link leads to, named plainly ("a/b/../c" as "a/c").
        const fs::path joined = next.is_absolute() ? next : at.parent_path() / next;
        at = fs::weakly_canonical(FolderOf(joined), ec) / joined.filename();
        if (ec) at = joined;
    }
}

fs::path OutputFolder(const fs::path& output) { return FolderOf(OutputTarget(output)); }

std::vector<fs::path> FoldersToLock(std::vector<fs::path> folders, const std::vector<fs::path>& outputs) {
    for (const fs::path& output : outputs) folders.push_back(OutputFolder(output));
    return folders;
}

std::optional<fs::path> InputAt(const fs::path& output, const std::vector<fs::path>& inputs) {
    const fs::path target = OutputTarget(output);
    for (const fs::path& input : inputs) {
        if (SameFile(target, input)) return input;
        if (EqualNoCase(target.filename().string(), input.filename().string()) &&
            SameFile(FolderOf(target), FolderOf(input)))
            return input;
    }
    return std::nullopt;
}

std::string OutputIsInputMessage(const fs::path& output, const fs::path& input) {
    if (output == input) return QuotedPath(output) + " is a file the run reads";
    return QuotedPath(output) + " is " + QuotedPath(input) + ", which the run reads";
}

void RequireNotAnInput(const fs::path& output, const std::vector<fs::path>& inputs) {
    if (const auto input = InputAt(output, inputs))
        throw Error("The output " + OutputIsInputMessage(output, *input) + "; nothing was written");
}

}  // namespace vestrel

#include "bench_folder.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

#include <stdlib.h>

namespace vestrel::bench {

namespace fs = std::filesystem;

BenchFolder::BenchFolder() {
    if (const char* dir = std::getenv("VESTREL_BENCH_DIR"); dir && *dir) {
        root_ = dir;
        fs::create_directories(root_);
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "vestrel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("Cannot create a folder under " + pattern);
    root_ = pattern;
    owned_ = true;
}

BenchFolder::~BenchFolder() {
    std::error_code ignored;
    if (owned_) fs::remove_all(root_, ignored);
}

}  // namespace vestrel::bench

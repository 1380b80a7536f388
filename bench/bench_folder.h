#pragma once

#include <filesystem>

namespace vestrel::bench {

// Where a benchmark keeps its generated data: $VESTREL_BENCH_DIR when set
// (created if missing, kept afterwards, so that large inputs are generated
// once), else a fresh folder under $TMPDIR that is removed at the end.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
    bool owned_ = false;
};

}  // namespace vestrel::bench

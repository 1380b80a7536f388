// A set's record (.vestrel-set) from arbitrary bytes, beside a project file
// and the hidden files of a set. A record is read whole or refused with a
// message; what is read names only files of its folder; finishing it leaves
// the folder without a record and touches nothing outside the folder.

#include "fuzz_support.h"

#include "platform/error.h"
#include "platform/file_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    namespace fs = std::filesystem;
    const auto base = fuzz::EmptyFolder("set");
    const auto dir = base / "project";
    fs::create_directory(dir);
    fuzz::WriteBytes(base / "outside.xml", "outside");
    fuzz::WriteBytes(dir / "RCobDef.xml", "<COBID/>");
    fuzz::WriteBytes(dir / ".RCobDef.xml.vestrel-new-1-0", "<COBID><row/></COBID>");
    fuzz::WriteBytes(dir / ".RCobDef.xml.vestrel-old-1-0", "<COBID/>");
    fuzz::WriteBytes(dir / std::string(kFileSetRecord), fuzz::AsText(data, size));
    try {
        if (const auto set = FindInterruptedSet(dir)) {
            for (const fs::path& file : set->files) FUZZ_CHECK(file.parent_path() == dir, "a record names " + file.string());
        }
        (void)FinishInterruptedSet(dir);
        FUZZ_CHECK(!fs::exists(dir / std::string(kFileSetRecord)), "a finished set left its record");
    } catch (const Error&) {
    }
    FUZZ_CHECK(fs::exists(base / "outside.xml"), "a record reached outside its folder");
    return 0;
}

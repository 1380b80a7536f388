#pragma once

#include "platform/result.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vestrel {

// FreeXL 1.0.6 trusts an .xls file more than a damaged one deserves: it
// sizes its tables by the counts the file gives, it copies records by the
// length they give, and it allocates every sheet's whole cell table while it
// opens the file. This looks at the file first, the way FreeXL will read it,
// and passes it, or names the first thing FreeXL would mishandle ("a record
// of 40000 bytes"). Whatever else is wrong with the file is left to FreeXL to
// find.
Result<void> CheckXlsForFreeXl(const std::filesystem::path& path);

}  // namespace vestrel

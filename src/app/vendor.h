#pragma once

#include "vestrel/version.h"

namespace vestrel {

// The vendor's web page, opened from the main window's link and the About
// box's logo and link.
inline constexpr const char* kVendorWebAddress = "https://www.zemtrax.example";
inline constexpr const char* kVendorWebLabel = "www.zemtrax.example";
inline constexpr const char* kVendorPagePath = "/HOME/default.asp?frompg=SW58316";
inline constexpr const char* kVendorMail = "support@zemtrax.example";

inline constexpr const char* kSoftwareCode = "SW58316";
inline constexpr const char* kDocumentCode = "MN58316";

}  // namespace vestrel

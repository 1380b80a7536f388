#pragma once

#include "vestrel/version.h"

namespace vestrel {

// The product's names, codes and addresses: what the title, the About box,
// the links and the INI file's name say, in one place.
struct ProductIdentity {
    const char* applicationName;  // the name the desktop shows for the running program
    const char* vendorLabel;      // the vendor's label in front of the window title
    const char* windowTitleText;
    const char* configFileName;   // the INI file beside the executable
    const char* softwareCode;
    const char* documentCode;
    // The vendor's web page, opened from the main window's link and the About
    // box's logo and link, and the mail address of the About box's hidden link.
    const char* webAddress;
    const char* webLabel;
    const char* pagePath;
    const char* mail;
};

inline constexpr ProductIdentity kProduct{
    .applicationName = kApplicationName,
    .vendorLabel = "Zemtrax ",
    .windowTitleText = "Vestrel SW58316 - CAN / MODBUS Slave",
    .configFileName = "Vestrel_Zemtrax.ini",
    .softwareCode = "SW58316",
    .documentCode = "MN58316",
    .webAddress = "https://www.zemtrax.example",
    .webLabel = "www.zemtrax.example",
    .pagePath = "/HOME/default.asp?frompg=SW58316",
    .mail = "support@zemtrax.example",
};

}  // namespace vestrel

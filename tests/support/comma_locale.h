#pragma once

// A locale that writes numbers the German way ("26,0632"), for tests that
// show a file's numbers do not depend on the locale. glibc's localedef
// builds de_DE.UTF-8 from the sources of Debian's locales package into a
// folder of the test's own (LOCPATH), so that no locale needs to be
// generated on the machine; it is built once per test program.
#include "support/temp_dir.h"

#include <clocale>
#include <cstdlib>
#include <locale>
#include <memory>
#include <string>

namespace vestrel::test {

class CommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    // Makes the locale the C and the C++ global locale; the ones before are
    // back when it goes. Active() says whether that worked, Why() why not.
    CommaLocale() {
        static const std::string why = Build();
        why_ = why;
        if (!why_.empty()) return;
        previousC_ = std::setlocale(LC_ALL, nullptr);
        previousCpp_ = std::locale();
        if (!std::setlocale(LC_ALL, kName)) {
            why_ = "setlocale(LC_ALL, \"" + std::string(kName) + "\") failed";
            return;
        }
        try {
            std::locale::global(std::locale(kName));
        } catch (const std::exception& e) {
            why_ = std::string("std::locale: ") + e.what();
        }
        active_ = why_.empty() && std::localeconv()->decimal_point == std::string(",");
        if (!active_ && why_.empty()) why_ = "the locale's decimal point is not a comma";
    }
    ~CommaLocale() {
        if (previousC_.empty()) return;
        std::setlocale(LC_ALL, previousC_.c_str());
        std::locale::global(previousCpp_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }
    const std::string& Why() const { return why_; }

private:
    static std::string Build() {
        static TempDir dir;
        // -c: a warning about the sources need not stop it.
        const std::string command = "localedef -c -i de_DE -f UTF-8 '" + (dir / kName).string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1 || !std::filesystem::exists(dir / kName / "LC_NUMERIC"))
            return "localedef cannot build " + std::string(kName) + " (is Debian's locales package installed?)";
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        return {};
    }

    std::string why_;
    bool active_ = false;
    std::string previousC_;
    std::locale previousCpp_;
};

}  // namespace vestrel::test

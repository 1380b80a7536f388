#pragma once

#include <stdexcept>
#include <string>

namespace vestrel {

// A failure whose message is meant for the user as it stands: the user
// interface shows what() unchanged, the command line prints it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vestrel

// The two kinds of failure the command-line tool distinguishes in its exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace zentrova_cli {

// Something the user can fix (a name, a value, a file): exit status 1, one line on stderr.
struct user_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Something that should not happen (the component misbehaving, out of memory): exit status 2.
struct internal_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws internal_error naming the call when a platform call answers a non-zero status.
void check_status(int status, const std::string &what);

}  // namespace zentrova_cli

// CoreFoundation strings as std::string. [any thread; allocates]
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace host {

// The UTF-8 text of `text`, of any length; empty for null.
std::string to_string(CFStringRef text);

}  // namespace host

// Messages of the editor: to the system log (syslog, user facility) and to standard error.
#pragma once

#include <string_view>

namespace ui {

void log_message(std::string_view message);

}  // namespace ui

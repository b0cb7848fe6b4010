#include "ui/Log.h"

#include <cstdio>
#include <syslog.h>

namespace ui {

void log_message(std::string_view message) {
    const int length = int(message.size());
    syslog(LOG_USER | LOG_NOTICE, "%.*s", length, message.data());
    std::fprintf(stderr, "%.*s\n", length, message.data());
}

}  // namespace ui

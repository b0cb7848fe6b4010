#include "progress.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace zentrova_cli {

using clock_type = std::chrono::steady_clock;

progress_bar::progress_bar(bool enabled)
    : _enabled(enabled && ::isatty(STDERR_FILENO)), _start(clock_type::now()), _last_draw(_start) {}

progress_bar::~progress_bar() { finish(); }

void progress_bar::update(double fraction) {
    if (!_enabled) return;
    // Some formats only estimate their length (MP3), so the count done may pass the total.
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    const auto now = clock_type::now();
    const double elapsed = std::chrono::duration<double>(now - _start).count();
    if (elapsed < 1.0 || now - _last_draw < std::chrono::milliseconds(100)) return;
    _last_draw = now;
    _shown = true;
    constexpr int width = 40;
    const int filled = static_cast<int>(fraction * width + 0.5);
    const double remaining = fraction > 0 ? elapsed * (1.0 - fraction) / fraction : 0.0;
    std::fprintf(stderr, "\r[%s%s] %3d%%  %.0f s left ", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), static_cast<int>(fraction * 100 + 0.5), remaining);
    std::fflush(stderr);
}

void progress_bar::finish() {
    if (_shown) std::fprintf(stderr, "\r%*s\r", 64, "");
    _shown = false;
}

}  // namespace zentrova_cli

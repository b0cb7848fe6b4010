// A progress bar on the terminal for work that takes longer than a second.
#pragma once

#include <chrono>

namespace zentrova_cli {

class progress_bar {
public:
    explicit progress_bar(bool enabled);
    ~progress_bar();
    void update(double fraction);  // 0..1; cheap when called often
    void finish();

private:
    bool _enabled;
    bool _shown = false;
    std::chrono::steady_clock::time_point _start, _last_draw;
};

}  // namespace zentrova_cli

#include "X11ConnectionLoss.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace ui {

namespace {

struct watched_display {
    Display *display;
    bool lost;
};

// Xlib's I/O error handler is one for the whole process, shared with the host's toolkit: ours
// answers for our displays only and hands every other display to the handler it replaced.
std::mutex watch_lock;
std::vector<watched_display> watched;
XIOErrorHandler replaced_handler = nullptr;
bool installed = false;

watched_display *find(Display *display) {
    const auto it = std::find_if(watched.begin(), watched.end(),
                                 [&](const watched_display &w) { return w.display == display; });
    return it == watched.end() ? nullptr : &*it;
}

int on_io_error(Display *display) {
    XIOErrorHandler other = nullptr;
    {
        std::lock_guard<std::mutex> hold(watch_lock);
        if (find(display) == nullptr) other = replaced_handler;
    }
    // Ours: return, and Xlib calls the display's exit handler below instead of exit().
    return other != nullptr ? other(display) : 0;
}

#ifdef ZENTROVA_HAVE_IO_ERROR_EXIT_HANDLER
void on_io_error_exit(Display *display, void *) {
    std::lock_guard<std::mutex> hold(watch_lock);
    if (watched_display *w = find(display)) w->lost = true;
}
#endif

}  // namespace

void watch_connection(Display *display) {
#ifdef ZENTROVA_HAVE_IO_ERROR_EXIT_HANDLER
    if (display == nullptr) return;
    std::lock_guard<std::mutex> hold(watch_lock);
    watched.push_back({display, false});
    XSetIOErrorExitHandler(display, on_io_error_exit, nullptr);
    if (!installed) {
        replaced_handler = XSetIOErrorHandler(on_io_error);
        installed = true;
    }
#else
    (void)display;
#endif
}

void forget_connection(Display *display) {
    std::lock_guard<std::mutex> hold(watch_lock);
    watched.erase(
        std::remove_if(watched.begin(), watched.end(), [&](const watched_display &w) { return w.display == display; }),
        watched.end());
    // The last one gone: hand the process's handler back, so that nothing points into this library
    // once a host unloads it. A handler installed over ours since stays.
    if (watched.empty() && installed) {
        const XIOErrorHandler current = XSetIOErrorHandler(replaced_handler);
        if (current != on_io_error) XSetIOErrorHandler(current);
        installed = false;
    }
}

bool connection_lost(Display *display) {
    std::lock_guard<std::mutex> hold(watch_lock);
    const watched_display *w = find(display);
    return w != nullptr && w->lost;
}

}  // namespace ui

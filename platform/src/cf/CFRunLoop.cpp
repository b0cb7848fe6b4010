// CFRunLoop: one run loop per thread with version-0 sources.
//
// The event-listener service signals sources from the audio render thread, so signalling must be
// wait-free, allocation-free and free of system calls: CFRunLoopSourceSignal only sets an atomic
// flag. A waiting run loop therefore wakes every kPollInterval to look at its sources' flags, in
// addition to sleeping on an eventfd that CFRunLoopWakeUp (from ordinary threads) writes for
// immediate delivery.
//
// Threads: a source's perform runs only on the thread that owns its run loop, only inside
// CFRunLoopRunInMode. Sources may be created, added, removed, invalidated and signalled from any
// thread. The tables of which source is in which run loop are guarded by one process-wide mutex,
// which the render thread never takes.
#include "cf/CFRuntime.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace {

// 3 ms: well inside the listener service's 5 ms notification interval, so a change signalled from
// the render thread is delivered about as soon as the service would coalesce it anyway, while an
// idle waiting thread wakes only ~330 times a second.
constexpr double kPollInterval = 0.003;

std::mutex &table_mutex() {
    static auto *m = new std::mutex;  // never destroyed: threads may exit after static destructors
    return *m;
}

bool is_common(CFStringRef mode) { return CFEqual(mode, kCFRunLoopCommonModes); }

// A source added for the common modes runs in the default mode, the only common mode here.
bool mode_matches(CFStringRef entry_mode, CFStringRef run_mode) {
    return CFEqual(entry_mode, run_mode) || (is_common(entry_mode) && CFEqual(run_mode, kCFRunLoopDefaultMode));
}

}  // namespace

const CFStringRef kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = CFSTR("kCFRunLoopCommonModes");

struct __CFRunLoop;

struct __CFRunLoopSource final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kRunLoopSourceTypeID;
    __CFRunLoopSource() : Object(kTypeID) {}
    ~__CFRunLoopSource() override {
        if (context.release != nullptr) context.release(context.info);
    }

    CFRunLoopSourceContext context{};
    CFIndex order = 0;
    std::atomic<bool> signalled{false};  // [any thread, the render thread included]
    std::atomic<bool> valid{true};
    std::vector<__CFRunLoop *> loops;  // guarded by table_mutex(); run loops holding an entry for it
};

struct __CFRunLoop final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kRunLoopTypeID;
    explicit __CFRunLoop(bool detached_from_threads = false) : Object(kTypeID), detached(detached_from_threads) {
        wake_fd = detached ? -1 : eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~__CFRunLoop() override;

    struct Entry {
        __CFRunLoopSource *source;  // retained
        CFStringRef mode;           // retained
    };

    bool has_entry(const __CFRunLoopSource *s, CFStringRef run_mode) const {
        for (const Entry &e : entries)
            if (e.source == s && mode_matches(e.mode, run_mode)) return true;
        return false;
    }

    const bool detached;  // belongs to no thread (CFRunLoopCreateDetached)
    int wake_fd;
    std::vector<Entry> entries;  // guarded by table_mutex()
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> waiting{false};
};

namespace {

void forget_loop(__CFRunLoopSource *s, __CFRunLoop *rl) { std::erase(s->loops, rl); }

// Detaches every entry of rl (under the table lock) and returns them for cancel and release
// outside it, so that callbacks may call back into the run loop API.
std::vector<__CFRunLoop::Entry> detach_all(__CFRunLoop *rl) {
    std::lock_guard lock(table_mutex());
    std::vector<__CFRunLoop::Entry> old;
    old.swap(rl->entries);
    for (auto &e : old) forget_loop(e.source, rl);
    return old;
}

void cancel_and_release(CFRunLoopRef rl, const std::vector<__CFRunLoop::Entry> &entries) {
    for (const auto &e : entries) {
        if (e.source->context.cancel != nullptr) e.source->context.cancel(e.source->context.info, rl, e.mode);
        CFRelease(e.source);
        CFRelease(e.mode);
    }
}

// The thread's run loop lives as long as the thread (and longer while others retain it).
struct ThreadLoop {
    __CFRunLoop *loop = nullptr;
    ~ThreadLoop() {
        if (loop == nullptr) return;
        cancel_and_release(loop, detach_all(loop));
        CFRelease(loop);
    }
};

thread_local ThreadLoop t_loop;
thread_local __CFRunLoop *t_adopted = nullptr;  // CFRunLoopSetCurrent; not owned
std::atomic<__CFRunLoop *> g_main_loop{nullptr};

double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void drain(int fd) {
    if (fd < 0) return;  // a detached run loop: nothing to drain, and no system call
    uint64_t count;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

// Performs the sources of rl that are signalled in mode, in order; only the first one when
// return_after_one. Answers whether any was performed; sets no_sources when the mode has none.
// The sources found ready in one pass. A run loop holds a handful, gathered without touching the
// heap, so that a real-time thread running a detached run loop allocates nothing.
class ReadyList {
public:
    void push_back(__CFRunLoopSource *s) {
        if (_count < _inline.size()) _inline[_count] = s;
        else _more.push_back(s);
        ++_count;
    }
    __CFRunLoopSource *&operator[](size_t i) { return i < _inline.size() ? _inline[i] : _more[i - _inline.size()]; }
    size_t size() const { return _count; }
    bool contains(const __CFRunLoopSource *s) {
        for (size_t i = 0; i < _count; ++i)
            if ((*this)[i] == s) return true;
        return false;
    }
    // By order, stable; insertion sort, as the list is short.
    void sort_by_order() {
        for (size_t i = 1; i < _count; ++i)
            for (size_t j = i; j > 0 && (*this)[j - 1]->order > (*this)[j]->order; --j) std::swap((*this)[j - 1], (*this)[j]);
    }

private:
    std::array<__CFRunLoopSource *, 16> _inline{};
    std::vector<__CFRunLoopSource *> _more;
    size_t _count = 0;
};

// A detached run loop's table is read without the process-wide lock: its sources are added and
// removed only while no thread runs it (CFRunLoopCreateDetached's contract), so the real-time
// thread that runs it never waits for a window system's or another plug-in's run loop.
std::unique_lock<std::mutex> lock_table_of(const __CFRunLoop *rl) {
    return rl->detached ? std::unique_lock<std::mutex>() : std::unique_lock<std::mutex>(table_mutex());
}

bool perform_signalled(__CFRunLoop *rl, CFStringRef mode, bool return_after_one, bool &no_sources) {
    ReadyList ready;
    {
        const auto lock = lock_table_of(rl);
        no_sources = true;
        for (const auto &e : rl->entries) {
            if (!mode_matches(e.mode, mode)) continue;
            no_sources = false;
            if (e.source->signalled.load(std::memory_order_acquire) && !ready.contains(e.source)) {
                CFRetain(e.source);  // kept alive through its perform even if removed meanwhile
                ready.push_back(e.source);
            }
        }
    }
    ready.sort_by_order();
    bool handled = false;
    for (size_t i = 0; i < ready.size(); ++i) {
        __CFRunLoopSource *s = ready[i];
        if (handled && return_after_one) break;  // the rest stay signalled for the next run
        bool member;
        {
            // Re-checked because an earlier perform may have removed or invalidated this source.
            const auto lock = lock_table_of(rl);
            member = s->valid.load(std::memory_order_acquire) && rl->has_entry(s, mode);
        }
        if (member && s->signalled.exchange(false, std::memory_order_acq_rel) && s->context.perform != nullptr) {
            s->context.perform(s->context.info);
            handled = true;
        }
    }
    for (size_t i = 0; i < ready.size(); ++i) CFRelease(ready[i]);
    return handled;
}

}  // namespace

__CFRunLoop::~__CFRunLoop() {
    // Entries added after the owning thread ended are released here.
    cancel_and_release(this, detach_all(this));
    if (wake_fd >= 0) close(wake_fd);
}

CFTypeID CFRunLoopGetTypeID(void) { return cf::kRunLoopTypeID; }
CFTypeID CFRunLoopSourceGetTypeID(void) { return cf::kRunLoopSourceTypeID; }

CFRunLoopRef CFRunLoopGetCurrent(void) {
    if (t_adopted != nullptr) return t_adopted;
    if (t_loop.loop == nullptr) {
        t_loop.loop = new __CFRunLoop;
        __CFRunLoop *expected = nullptr;
        if (g_main_loop.compare_exchange_strong(expected, t_loop.loop)) CFRetain(t_loop.loop);  // kept for the process
    }
    return t_loop.loop;
}

CFRunLoopRef CFRunLoopGetMain(void) {
    if (__CFRunLoop *main = g_main_loop.load()) return main;
    CFRunLoopGetCurrent();
    return g_main_loop.load();
}

// [the run loop's own thread]
SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds, Boolean return_after_source_handled) {
    __CFRunLoop *rl = cf::as<__CFRunLoop>(CFRunLoopGetCurrent());
    if (cf::as<__CFString>(mode) == nullptr || is_common(mode)) return kCFRunLoopRunFinished;
    if (!(seconds > 0)) seconds = 0;  // negative and NaN timeouts mean "do not wait"
    const double deadline = now_seconds() + std::min(seconds, 1e9);
    for (;;) {
        // Drained before each pass, not only after a wait: a window system that polls the
        // descriptor and then runs with a zero timeout must see it cleared, or it would spin.
        // A wake-up arriving after this point stays pending for the next wait.
        drain(rl->wake_fd);
        if (rl->stop_requested.exchange(false)) return kCFRunLoopRunStopped;
        bool no_sources = false;
        bool handled = perform_signalled(rl, mode, return_after_source_handled, no_sources);
        if (handled && return_after_source_handled) return kCFRunLoopRunHandledSource;
        if (rl->stop_requested.exchange(false)) return kCFRunLoopRunStopped;
        if (no_sources) return kCFRunLoopRunFinished;
        double left = deadline - now_seconds();
        if (left <= 0) return kCFRunLoopRunTimedOut;
        double wait = std::min(left, kPollInterval);
        timespec ts{static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
        pollfd pfd{rl->wake_fd, POLLIN, 0};
        rl->waiting.store(true);
        ppoll(&pfd, 1, &ts, nullptr);
        rl->waiting.store(false);
    }
}

void CFRunLoopRun(void) {
    for (;;) {
        SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1e10, false);
        if (result == kCFRunLoopRunStopped || result == kCFRunLoopRunFinished) return;
    }
}

// A stop requested while the loop is not running makes its next run return at once, as on the
// original platform.
void CFRunLoopStop(CFRunLoopRef rl) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    if (loop == nullptr) return;
    loop->stop_requested.store(true);
    CFRunLoopWakeUp(rl);
}

// [any thread except the render thread: this is a system call]
void CFRunLoopWakeUp(CFRunLoopRef rl) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    if (loop == nullptr || loop->wake_fd < 0) return;
    uint64_t one = 1;
    // EAGAIN means the counter is already non-zero: the loop is awake already.
    [[maybe_unused]] ssize_t n = write(loop->wake_fd, &one, sizeof one);
}

Boolean CFRunLoopIsWaiting(CFRunLoopRef rl) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    return loop != nullptr && loop->waiting.load();
}

int CFRunLoopGetWakeUpFileDescriptor(CFRunLoopRef rl) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    return loop != nullptr ? loop->wake_fd : -1;
}

CFTimeInterval CFRunLoopGetPollInterval(void) { return kPollInterval; }

CFRunLoopRef CFRunLoopCreateDetached(void) { return new __CFRunLoop(true); }

CFRunLoopRef CFRunLoopSetCurrent(CFRunLoopRef rl) {
    __CFRunLoop *previous = t_adopted;
    t_adopted = rl != nullptr ? cf::as<__CFRunLoop>(rl) : nullptr;
    return previous;
}

// [whichever thread the owner runs it on, a real-time one included]
SInt32 CFRunLoopRunDetached(CFRunLoopRef rl, CFStringRef mode) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    if (loop == nullptr || !loop->detached || mode == nullptr || is_common(mode)) return kCFRunLoopRunFinished;
    bool no_sources = false;
    if (perform_signalled(loop, mode, false, no_sources)) return kCFRunLoopRunHandledSource;
    return no_sources ? kCFRunLoopRunFinished : kCFRunLoopRunTimedOut;
}

CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef, CFIndex order, CFRunLoopSourceContext *context) {
    // Only version-0 sources (signalled, then performed) exist here.
    if (context == nullptr || context->version != 0) return nullptr;
    auto *s = new __CFRunLoopSource;
    s->context = *context;
    s->order = order;
    if (s->context.retain != nullptr) s->context.info = const_cast<void *>(s->context.retain(context->info));
    return s;
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    auto *s = cf::as<__CFRunLoopSource>(source);
    if (loop == nullptr || s == nullptr || cf::as<__CFString>(mode) == nullptr) return;
    {
        std::lock_guard lock(table_mutex());
        if (!s->valid.load()) return;
        for (const auto &e : loop->entries)
            if (e.source == s && CFEqual(e.mode, mode)) return;
        loop->entries.push_back({static_cast<__CFRunLoopSource *>(const_cast<void *>(CFRetain(s))),
                                 static_cast<CFStringRef>(CFRetain(mode))});
        if (std::find(s->loops.begin(), s->loops.end(), loop) == s->loops.end()) s->loops.push_back(loop);
    }
    if (s->context.schedule != nullptr) s->context.schedule(s->context.info, rl, mode);
    if (s->signalled.load()) CFRunLoopWakeUp(rl);  // signalled before it was added
}

void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode) {
    auto *loop = cf::as<__CFRunLoop>(rl);
    auto *s = cf::as<__CFRunLoopSource>(source);
    if (loop == nullptr || s == nullptr) return;
    std::vector<__CFRunLoop::Entry> removed;
    {
        std::lock_guard lock(table_mutex());
        auto &entries = loop->entries;
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->source == s && CFEqual(it->mode, mode)) {
                removed.push_back(*it);
                it = entries.erase(it);
            } else {
                ++it;
            }
        }
        bool still_there = std::any_of(entries.begin(), entries.end(), [&](const auto &e) { return e.source == s; });
        if (!still_there) forget_loop(s, loop);
    }
    cancel_and_release(rl, removed);
}

void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source) {
    auto *s = cf::as<__CFRunLoopSource>(source);
    if (s == nullptr) return;
    CFRetain(s);  // the last entry's release must not free it while this runs
    std::vector<std::pair<__CFRunLoop *, __CFRunLoop::Entry>> removed;
    std::vector<__CFRunLoop *> held;  // retained so that each stays alive for its cancel callbacks
    {
        std::lock_guard lock(table_mutex());
        s->valid.store(false, std::memory_order_release);
        for (__CFRunLoop *loop : s->loops) {
            CFRetain(loop);
            held.push_back(loop);
            auto &entries = loop->entries;
            for (auto it = entries.begin(); it != entries.end();) {
                if (it->source == s) {
                    removed.push_back({loop, *it});
                    it = entries.erase(it);
                } else {
                    ++it;
                }
            }
        }
        s->loops.clear();
    }
    for (auto &[loop, entry] : removed) cancel_and_release(loop, {entry});
    for (__CFRunLoop *loop : held) CFRelease(loop);
    CFRelease(s);
}

Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source) {
    auto *s = cf::as<__CFRunLoopSource>(source);
    return s != nullptr && s->valid.load();
}

// [any thread, the render thread included] One atomic store: no lock, no allocation, no system call.
void CFRunLoopSourceSignal(CFRunLoopSourceRef source) {
    auto *s = static_cast<__CFRunLoopSource *>(const_cast<void *>(static_cast<const void *>(source)));
    if (s != nullptr) s->signalled.store(true, std::memory_order_release);
}

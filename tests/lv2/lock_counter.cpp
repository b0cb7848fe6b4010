// Replaces the pthread lock functions with counting ones that forward to glibc's own. Linked into
// a test binary with ENABLE_EXPORTS, the replacements take the calls of every library in the
// process, a plug-in loaded with dlopen and the platform library it links included: std::mutex
// and std::recursive_mutex lock through pthread_mutex_lock, std::shared_mutex through the rwlock
// calls. An uncontended lock makes no system call, so only this can see one on a real-time path.
#include "tests/lv2/lock_counter.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>

namespace {

thread_local bool t_counting = false;  // static TLS of the executable: reading it takes no lock
std::atomic<long> g_locks{0};

void note() {
    if (t_counting) g_locks.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace test_support {

lock_counting::lock_counting() {
    g_locks = 0;
    t_counting = true;
}
lock_counting::~lock_counting() { t_counting = false; }
long lock_counting::locks() const { return g_locks.load(); }

}  // namespace test_support

#if defined(__SANITIZE_THREAD__)
// The thread sanitizer intercepts these itself to track lock order; it keeps them.
bool test_support::lock_counting_available() { return false; }
#else
bool test_support::lock_counting_available() { return true; }

namespace {

// glibc's own functions, found past this executable's replacements. Resolved before main (and
// at the first call, should a library lock before that).
template <typename Function>
Function next(Function &cached, const char *name) {
    if (cached == nullptr) cached = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    return cached;
}
int (*g_mutex_lock)(pthread_mutex_t *) = nullptr;
int (*g_mutex_trylock)(pthread_mutex_t *) = nullptr;
int (*g_rwlock_rdlock)(pthread_rwlock_t *) = nullptr;
int (*g_rwlock_wrlock)(pthread_rwlock_t *) = nullptr;

[[maybe_unused]] const bool g_resolved = next(g_mutex_lock, "pthread_mutex_lock") &&
                                         next(g_mutex_trylock, "pthread_mutex_trylock") &&
                                         next(g_rwlock_rdlock, "pthread_rwlock_rdlock") &&
                                         next(g_rwlock_wrlock, "pthread_rwlock_wrlock");

}  // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t *mutex) {
    note();
    return next(g_mutex_lock, "pthread_mutex_lock")(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t *mutex) {
    note();
    return next(g_mutex_trylock, "pthread_mutex_trylock")(mutex);
}
int pthread_rwlock_rdlock(pthread_rwlock_t *lock) {
    note();
    return next(g_rwlock_rdlock, "pthread_rwlock_rdlock")(lock);
}
int pthread_rwlock_wrlock(pthread_rwlock_t *lock) {
    note();
    return next(g_rwlock_wrlock, "pthread_rwlock_wrlock")(lock);
}
}
#endif

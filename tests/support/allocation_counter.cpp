// Replaces the global allocation functions (and, outside sanitizer builds, malloc itself) with
// counting ones. Link this into a test binary with ENABLE_EXPORTS, so that a component loaded with
// dlopen allocates through these too.
#include "tests/support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool tCounting = false;  // static TLS of the executable: touching it allocates nothing
std::atomic<long> gAllocations{0};

void Note() {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace test_support {

allocation_counting::allocation_counting() {
    gAllocations = 0;
    tCounting = true;
}
allocation_counting::~allocation_counting() { tCounting = false; }
long allocation_counting::allocations() const { return gAllocations.load(); }

}  // namespace test_support

void *operator new(std::size_t size) {
    Note();
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    Note();
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void *operator new(std::size_t size, std::align_val_t alignment) {
    Note();
    const std::size_t a = static_cast<std::size_t>(alignment);
    if (void *p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// malloc and friends too (glibc lets a program replace them), so C-level allocations count.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
void *malloc(size_t size) {
    Note();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    Note();
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t size) {
    Note();
    return __libc_realloc(p, size);
}
void *aligned_alloc(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **out, size_t alignment, size_t size) {
    Note();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12 /* ENOMEM */;
}
void free(void *p) { __libc_free(p); }
}
#endif


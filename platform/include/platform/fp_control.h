// Processor floating-point control for the render path: flush-to-zero and denormals-are-zero
// for the lifetime of a scope, restored on every exit (thrown failures included).
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace platform {

class DenormalsOffScope {
public:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;

    DenormalsOffScope() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
#endif
    }
    ~DenormalsOffScope() {
#if defined(__x86_64__) || defined(__i386__)
        _mm_setcsr(saved_);
#endif
    }
    DenormalsOffScope(const DenormalsOffScope &) = delete;
    DenormalsOffScope &operator=(const DenormalsOffScope &) = delete;

private:
    unsigned saved_ = 0;
};

}  // namespace platform

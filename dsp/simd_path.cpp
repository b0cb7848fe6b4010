#include "dsp/simd_path.h"

#include <atomic>
#include <cstdlib>

namespace dsp {

namespace {

simd_path initial_path() noexcept {
    // An unknown or unsupported name is ignored rather than refused: the library has nobody to
    // report to, and the widest path gives the same output anyway.
    if (const char *forced = std::getenv("ZENTROVA_SIMD")) {
        const auto path = simd_path_from_name(forced);
        if (path && simd_path_supported(*path)) return *path;
    }
    return best_simd_path();
}

// Chosen while the library loads, so the render thread never runs the choice (getenv, cpuid)
// nor a guard of a function-local static.
std::atomic<simd_path> active{initial_path()};

}  // namespace

std::string_view simd_path_name(simd_path path) noexcept {
    switch (path) {
    case simd_path::scalar: return "scalar";
    case simd_path::sse2: return "sse2";
    case simd_path::avx2: return "avx2";
    case simd_path::avx512: return "avx512";
    }
    return "unknown";
}

std::optional<simd_path> simd_path_from_name(std::string_view name) noexcept {
    for (simd_path path : all_simd_paths)
        if (simd_path_name(path) == name) return path;
    return std::nullopt;
}

bool simd_path_supported(simd_path path) noexcept {
    switch (path) {
    case simd_path::scalar:
    case simd_path::sse2: return true;  // the generic-vector code needs nothing beyond the baseline
#if defined(__x86_64__) && defined(ZENTROVA_WIDE_SIMD)
    case simd_path::avx2:
        // The choice runs from a static initialiser, possibly before the runtime's own
        // processor detection: make sure it has run.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case simd_path::avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
#else
    case simd_path::avx2:
    case simd_path::avx512: return false;
#endif
    }
    return false;
}

simd_path best_simd_path() noexcept {
    for (simd_path path : {simd_path::avx512, simd_path::avx2})
        if (simd_path_supported(path)) return path;
    return simd_path::sse2;
}

simd_path active_simd_path() noexcept { return active.load(std::memory_order_relaxed); }

bool select_simd_path(simd_path path) noexcept {
    if (!simd_path_supported(path)) return false;
    active.store(path, std::memory_order_relaxed);
    return true;
}

}  // namespace dsp

// Which instruction set the block paths of the ladders use. One binary carries all of them; the
// process picks the widest its processor supports once, when the library loads, unless
// ZENTROVA_SIMD names another ("scalar", "sse2", "avx2", "avx512"). Every path gives the same
// output bit for bit: they differ only in how many stages and channels share one instruction.
//
// Threads: active_simd_path is read on the render thread (one relaxed load per block);
// select_simd_path is for tests and benchmarks and must not race a running render.
#pragma once

#include <optional>
#include <string_view>

namespace dsp {

enum class simd_path {
    scalar,  // the per-sample step, stage after stage: the reference every other path must match
    sse2,
    avx2,
    avx512,
};

inline constexpr simd_path all_simd_paths[] = {simd_path::scalar, simd_path::sse2, simd_path::avx2,
                                               simd_path::avx512};

std::string_view simd_path_name(simd_path path) noexcept;
std::optional<simd_path> simd_path_from_name(std::string_view name) noexcept;

// Whether this processor (and this build) can run the path.
bool simd_path_supported(simd_path path) noexcept;
// The widest supported path.
simd_path best_simd_path() noexcept;

simd_path active_simd_path() noexcept;
// Makes `path` the active one; false (and nothing changes) when it is not supported.
bool select_simd_path(simd_path path) noexcept;

}  // namespace dsp

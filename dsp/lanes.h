// Lane helpers: the per-channel algorithms of the _Mono/_Stereo twins are written once, as
// templates over a "lane" type. A mono object runs them on `double`; a stereo object runs them
// on `lane2`, a pair {left, right} in one SSE register, so the two channels' serial dependency
// chains advance side by side in the same instructions. Every lane operation is the IEEE
// operation of the scalar code applied per lane (no fused multiply-add, no reassociation), so a
// stereo object fed equal channels produces exactly the mono result on both.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dsp {

typedef double lane2 __attribute__((vector_size(16)));
typedef std::int64_t mask2 __attribute__((vector_size(16)));

inline constexpr std::int64_t sign_bit = INT64_MIN;

template <class L> inline L splat(double v) noexcept;
template <> inline double splat<double>(double v) noexcept { return v; }
template <> inline lane2 splat<lane2>(double v) noexcept { return lane2{v, v}; }

inline double magnitude(double x) noexcept { return std::fabs(x); }
inline lane2 magnitude(lane2 x) noexcept { return (lane2)((mask2)x & ~mask2{sign_bit, sign_bit}); }

// c (non-negative) carrying the sign of x.
inline double with_sign_of(double c, double x) noexcept { return std::copysign(c, x); }
inline lane2 with_sign_of(double c, lane2 x) noexcept {
    return (lane2)(((mask2)x & mask2{sign_bit, sign_bit}) | (mask2)splat<lane2>(c));
}

// m >= limit ? at_least : below, per lane. Both operands are computed; no branch on the signal
// (a branch here mispredicts whenever a saturator's input hovers around its limit).
inline double select_at_least(double m, double limit, double at_least, double below) noexcept {
#if defined(__SSE2__)
    const __m128d take = _mm_cmpge_sd(_mm_set_sd(m), _mm_set_sd(limit));
    return _mm_cvtsd_f64(_mm_or_pd(_mm_and_pd(take, _mm_set_sd(at_least)), _mm_andnot_pd(take, _mm_set_sd(below))));
#else
    return m >= limit ? at_least : below;
#endif
}
inline lane2 select_at_least(lane2 m, double limit, lane2 at_least, lane2 below) noexcept {
    const mask2 take = (mask2)(m >= splat<lane2>(limit));
    return (lane2)((take & (mask2)at_least) | (~take & (mask2)below));
}

// Non-finite detection for the recovery paths. x - x is 0 for every finite x and NaN for an
// infinity or a NaN.
inline bool all_finite(double x) noexcept { return std::isfinite(x); }
inline bool all_finite(lane2 x) noexcept {
    const mask2 ok = (mask2)((x - x) == lane2{0.0, 0.0});
    return (ok[0] & ok[1]) != 0;
}

// Lanes where `probe` is finite keep v, the others become +0.0.
inline double keep_finite_lanes(double probe, double v) noexcept { return std::isfinite(probe) ? v : 0.0; }
inline lane2 keep_finite_lanes(lane2 probe, lane2 v) noexcept {
    const mask2 ok = (mask2)((probe - probe) == lane2{0.0, 0.0});
    return (lane2)(ok & (mask2)v);
}

}  // namespace dsp

// The ladders' soft saturator: an odd cubic that leaves the origin with slope c1 and meets its
// ceiling with zero slope at |x| = limit.
//
//   SH(x) = ((c3 |x| + c2) |x| + c1) x     for |x| < limit
//         = sign(x) ceiling                for |x| >= limit
#pragma once

#include "dsp/lanes.h"

namespace dsp {

struct saturator {
    double shape = 0.5;
    double limit = 1.0;
    double gain_limit = 1.0;  // gain x limit
    double gain = 1.0;
    double c3 = -0.5, c2 = 0.0, c1 = 1.5;
    double ceiling = 1.0;

    // limit is held in [0.0001, 1], gain at 0.0001 or more; shape is taken as given. Returns
    // false (and recomputes nothing) when all three equal the stored ones.
    bool set(double new_shape, double new_limit, double new_gain) noexcept;

    // For x = +-0 the polynomial branch gives a zero; a NaN input stays NaN, so a fault
    // upstream reaches the output (where the ladder detects and clears it) instead of being
    // silently masked here.
    template <class L> [[gnu::always_inline]] L apply(L x) const noexcept {
        const L m = magnitude(x);
        const L curve = ((c3 * m + c2) * m + c1) * x;
        return select_at_least(m, limit, with_sign_of(ceiling, x), curve);
    }
};

}  // namespace dsp

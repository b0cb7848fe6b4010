#include "dsp/saturator.h"

namespace dsp {

bool saturator::set(double new_shape, double new_limit, double new_gain) noexcept {
    // The bounds are written so that a NaN lands on the lower bound.
    const double l = new_limit > 0.0001 ? (new_limit < 1.0 ? new_limit : 1.0) : 0.0001;
    const double g = new_gain > 0.0001 ? new_gain : 0.0001;
    if (new_shape == shape && l == limit && g == gain) return false;
    shape = new_shape;
    limit = l;
    gain = g;
    gain_limit = g * l;
    // Cubic through the origin with SH'(0) = 3ag, SH(L) = gL and SH'(L) = 0.
    c3 = (3.0 * shape - 2.0) * gain / (limit * limit);
    c2 = 3.0 * (1.0 - 2.0 * shape) * gain / limit;
    c1 = 3.0 * shape * gain;
    ceiling = ((c3 * limit + c2) * limit + c1) * limit;
    return true;
}

}  // namespace dsp

#include "dsp/formant_ladder.h"

#include <cmath>
#include <numbers>

namespace dsp {

void formant_ladder_settings::update_scales(double oversampled_period) noexcept {
    phase_scale = std::numbers::pi * oversampled_period;
    frequency_scale = 2.0 * phase_scale;
    for (int j = 0; j < 3; ++j) k[j] = bounded_resonator_k(2.0 * std::sin(formant_hz[j] * phase_scale));
}

bool formant_ladder_settings::set_resonance(double r) noexcept {
    if (std::isnan(r)) return false;
    r = r < 0.0 ? 0.0 : (r > 1.0 ? 1.0 : r);
    if (r == resonance) return false;
    resonance = r;
    damping = (1.0 - r) * 0.8;
    return true;
}

}  // namespace dsp

#include "dsp/HF_Track_Envelope.h"

#include <cmath>

HF_Track_Envelope::HF_Track_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

void HF_Track_Envelope::update_coefficients() noexcept {
    reference_gain = trigger_sensitivity > -80.0 ? 1.0 / std::pow(10.0, trigger_sensitivity * 0.05) : 10000.0;
}

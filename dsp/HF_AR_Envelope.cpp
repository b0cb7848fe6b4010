// The two triggered sweeps: their coefficient and reset rules.
#include "dsp/HF_AR_Down_Envelope.h"
#include "dsp/HF_AR_Up_Envelope.h"

HF_AR_Up_Envelope::HF_AR_Up_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

void HF_AR_Up_Envelope::update_coefficients() noexcept {
    attack_step = dsp::sweep_step(sample_period, attack_time);
    release_step = -dsp::sweep_step(sample_period, release_time);
    threshold = dsp::trigger_threshold(trigger_sensitivity);
}

void HF_AR_Up_Envelope::reset() noexcept {
    position = 0.0;
    active = attacking = false;
}

HF_AR_Down_Envelope::HF_AR_Down_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

void HF_AR_Down_Envelope::update_coefficients() noexcept {
    attack_step = -dsp::sweep_step(sample_period, attack_time);
    release_step = dsp::sweep_step(sample_period, release_time);
    threshold = dsp::trigger_threshold(trigger_sensitivity);
}

void HF_AR_Down_Envelope::reset() noexcept {
    position = 1.0;
    active = attacking = false;
}

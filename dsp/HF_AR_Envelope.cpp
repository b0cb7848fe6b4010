// The two triggered sweeps: their coefficient and reset rules.
#include "dsp/HF_AR_Envelope.h"

template <class Direction>
HF_AR_Envelope<Direction>::HF_AR_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

// Sweep Up: attack +1000 T / attack ms, release -1000 T / release ms; Sweep Down the opposite
// signs. A segment thus lasts the given number of milliseconds.
template <class Direction> void HF_AR_Envelope<Direction>::update_coefficients() noexcept {
    attack_step = Direction::toward_far_end(dsp::sweep_step(sample_period, attack_time));
    release_step = -Direction::toward_far_end(dsp::sweep_step(sample_period, release_time));
    threshold = dsp::trigger_threshold(trigger_sensitivity);
}

template <class Direction> void HF_AR_Envelope<Direction>::reset() noexcept {
    position = Direction::rest;
    active = attacking = false;
}

template class HF_AR_Envelope<dsp::rising_sweep>;
template class HF_AR_Envelope<dsp::falling_sweep>;

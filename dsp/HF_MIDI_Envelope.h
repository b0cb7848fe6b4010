// "MIDI": ignores the input and ramps, block by block, to the "MIDI Control" value: over a
// block of n samples the outputs are start + k (v - start) / n, k = 0 .. n-1, where start is the
// previous block's target. A jump reaches the filter as a one-block linear glide.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

#include <cmath>
#include <cstdint>

class HF_MIDI_Envelope final : public HF_Envelope_Generator {
public:
    using HF_Envelope_Generator::HF_Envelope_Generator;

    // Prepares the ramp of one render block, before its first sample. [render thread]
    void begin_block(std::uint32_t frame_count, double value) noexcept {
        // An empty block has no samples to ramp over: it leaves the ramp as it is, so the next
        // block glides from the same start (the ramp does not jump for a block of no time).
        if (frame_count == 0) return;
        // A non-finite target would stay in the ramp for good; hold the current one instead.
        if (!std::isfinite(value)) value = ramp_end;
        step = (value - ramp_end) / frame_count;
        position = ramp_end;
        ramp_end = value;
    }
    // The level is ignored. [render thread]
    double next_value(double) noexcept override {
        const double out = position;
        position = position + step;
        ramp_end = position;
        return out;
    }
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept override {
        for (std::uint32_t i = 0; i < count; ++i) positions[i] = HF_MIDI_Envelope::next_value(levels[i]);
    }
    void update_coefficients() noexcept override {}
    void update_for_sample_period() noexcept override {}
    // The next block ramps from 0. Step and position are cleared too, so nothing of the old
    // ramp remains even before the next begin_block.
    void reset() noexcept override { step = position = ramp_end = 0.0; }

private:
    double step = 0.0;
    double position = 0.0;
    double ramp_end = 0.0;
};

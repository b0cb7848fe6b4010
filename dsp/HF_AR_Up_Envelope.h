// "Sweep Up": when the follower level reaches the trigger threshold the position runs linearly
// from 0 to 1 in the attack time and back to 0 in the release time, ignoring the input until it
// is back at rest (HF_AR_Envelope.h).
#pragma once

#include "dsp/HF_AR_Envelope.h"

class HF_AR_Up_Envelope final : public HF_AR_Envelope<dsp::rising_sweep> {
public:
    using HF_AR_Envelope::HF_AR_Envelope;
};

// "Sweep Down": rests at 1; when the follower level reaches the trigger threshold the position
// runs linearly to 0 in the attack time and back to 1 in the release time, ignoring the input
// until it is back at rest (HF_AR_Envelope.h).
#pragma once

#include "dsp/HF_AR_Envelope.h"

class HF_AR_Down_Envelope final : public HF_AR_Envelope<dsp::falling_sweep> {
public:
    using HF_AR_Envelope::HF_AR_Envelope;
};

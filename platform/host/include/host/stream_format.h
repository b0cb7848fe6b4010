// The stream format the hosts render in: 32-bit float, packed, non-interleaved (one buffer per
// channel). [control thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

namespace host {

AudioStreamBasicDescription float_format(Float64 sample_rate, UInt32 channels);

// Sets the float format on one element of one scope.
OSStatus set_float_format(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element, Float64 sample_rate,
                          UInt32 channels);
// An effect's usual set-up: the same format on input element 0, then output element 0. Answers
// the first failure (kAudioUnitErr_FormatNotSupported for a rate or channel count it refuses).
OSStatus set_float_formats(AudioUnit unit, Float64 sample_rate, UInt32 channels);

}  // namespace host

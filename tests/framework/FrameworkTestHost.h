// Host-side helpers for the framework tests: the test component opened through the platform's
// host API, canonical formats, caller buffers, an input callback, and request blocks packed by
// hand for calling an entry directly.
#pragma once

#include "tests/framework/TestGain.h"

#include <AudioUnit/AudioUnit.h>

#include "host/instance.h"
#include "platform/component_request.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace fwtest {

// The test component bundle, registered once per process.
AudioComponent TestComponent();

// One instance of the test component, disposed with the object.
struct Unit : host::instance {
    Unit();
};

AudioStreamBasicDescription CanonicalFormat(UInt32 channels, Float64 sampleRate = 44100.0);
// Sets the input and output formats; answers the first failure.
OSStatus SetChannels(AudioUnit unit, UInt32 inChannels, UInt32 outChannels);

// A caller's AudioBufferList with one float buffer per channel (or null data pointers).
class Buffers {
public:
    Buffers(UInt32 channels, UInt32 frames, bool withMemory = true, float fill = -7.0f);
    AudioBufferList *list() { return reinterpret_cast<AudioBufferList *>(record_.data()); }
    float *channel(UInt32 i) { return static_cast<float *>(list()->mBuffers[i].mData); }
    float *storage(UInt32 i) { return samples_[i].data(); }

private:
    std::vector<std::vector<float>> samples_;
    std::vector<std::byte> record_;
};

// A render callback that feeds channel c, frame i with Sample(c, i), counts its calls and can fail.
class InputSignal {
public:
    static float Sample(UInt32 channel, UInt32 frame) { return 0.001f * float(frame + 1) + float(channel); }
    static OSStatus Callback(void *self, AudioUnitRenderActionFlags *flags, const AudioTimeStamp *timeStamp,
                             UInt32 bus, UInt32 frames, AudioBufferList *data);
    AURenderCallbackStruct Struct() { return {&InputSignal::Callback, this}; }
    OSStatus Attach(AudioUnit unit, AudioUnitElement element = 0);

    unsigned calls = 0;
    OSStatus failWith = noErr;
    std::vector<std::vector<float>> own{8, std::vector<float>(4096)};  // for callers that pass null data
};

AudioTimeStamp TimeStamp(Float64 sampleTime);
OSStatus Render(AudioUnit unit, Buffers &buffers, UInt32 frames, Float64 sampleTime,
                AudioUnitRenderActionFlags *flags = nullptr);

TestGainRecord Record(AudioUnit unit);
OSStatus Control(AudioUnit unit, const TestGainControl &control);

template <class T> OSStatus Get(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                T &out) {
    UInt32 size = sizeof(T);
    return AudioUnitGetProperty(unit, id, scope, element, &out, &size);
}
template <class T> OSStatus Set(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const T &value) {
    return AudioUnitSetProperty(unit, id, scope, element, &value, sizeof(T));
}

// A request block with room for N argument slots after slot 0, packed as a host packs it.
template <size_t N> struct Request : platform::RequestBlock<N + 1> {
    explicit Request(SInt16 what) : platform::RequestBlock<N + 1>(what) {}
    ComponentParameters *header() { return this->get(); }
    Request &slot(size_t index, uintptr_t value) {
        this->set(index, value);
        return *this;
    }
    // Argument i lies in slot i + 1.
    Request &arg(size_t i, UInt32 value) { return slot(i + 1, platform::encode_u32(value)); }
    Request &argFloat(size_t i, Float32 value) { return slot(i + 1, platform::encode_f32(value)); }
    template <class T> Request &argPtr(size_t i, T *pointer) { return slot(i + 1, platform::encode_ptr(pointer)); }
};

}  // namespace fwtest

// The host-side Audio Unit calls: each packs its arguments into a request block (slot 0 the
// instance handle, argument i in slot i + 1) and hands it to the component's entry with the
// instance storage. The component does every check and answers; these calls add nothing but a
// refusal of a NULL handle, which has no entry to call.
//
// AudioUnitRender runs on the render thread: its block lives on the stack and the entry is called
// directly, with no allocation, lock or system call on the way.
#include "au/component_registry.h"
#include "platform/component_request.h"

using platform::encode_f32;
using platform::encode_fn;
using platform::encode_ptr;
using platform::encode_u32;
using platform::RequestBlock;

namespace {

// Fills slot 0 with the handle and slots 1.. with the already encoded arguments, then calls.
template <typename... Slots>
inline OSStatus send(AudioUnit unit, SInt16 selector, Slots... slots) noexcept {
    if (!unit) return badComponentInstance;
    RequestBlock<1 + sizeof...(Slots)> block(selector);
    block.set(0, encode_ptr(unit));
    size_t index = 1;
    (block.set(index++, slots), ...);
    return unit->entry(block.get(), unit->storage);
}

}  // namespace

extern "C" {

OSStatus AudioUnitInitialize(AudioUnit inUnit) { return send(inUnit, kAudioUnitInitializeSelect); }

OSStatus AudioUnitUninitialize(AudioUnit inUnit) { return send(inUnit, kAudioUnitUninitializeSelect); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, UInt32 *outDataSize, Boolean *outWritable) {
    return send(inUnit, kAudioUnitGetPropertyInfoSelect, encode_u32(inID), encode_u32(inScope), encode_u32(inElement),
                encode_ptr(outDataSize), encode_ptr(outWritable));
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void *outData, UInt32 *ioDataSize) {
    return send(inUnit, kAudioUnitGetPropertySelect, encode_u32(inID), encode_u32(inScope), encode_u32(inElement),
                encode_ptr(outData), encode_ptr(ioDataSize));
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void *inData, UInt32 inDataSize) {
    return send(inUnit, kAudioUnitSetPropertySelect, encode_u32(inID), encode_u32(inScope), encode_u32(inElement),
                encode_ptr(inData), encode_u32(inDataSize));
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue *outValue) {
    return send(inUnit, kAudioUnitGetParameterSelect, encode_u32(inID), encode_u32(inScope), encode_u32(inElement),
                encode_ptr(outValue));
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames) {
    return send(inUnit, kAudioUnitSetParameterSelect, encode_u32(inID), encode_u32(inScope), encode_u32(inElement),
                encode_f32(inValue), encode_u32(inBufferOffsetInFrames));
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement) {
    return send(inUnit, kAudioUnitResetSelect, encode_u32(inScope), encode_u32(inElement));
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                      AudioUnitPropertyListenerProc inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitAddPropertyListenerSelect, encode_u32(inID), encode_fn(inProc),
                encode_ptr(inProcUserData));
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitRemovePropertyListenerWithUserDataSelect, encode_u32(inID), encode_fn(inProc),
                encode_ptr(inProcUserData));
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitAddRenderNotifySelect, encode_fn(inProc), encode_ptr(inProcUserData));
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitRemoveRenderNotifySelect, encode_fn(inProc), encode_ptr(inProcUserData));
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent *inParameterEvent,
                                     UInt32 inNumParamEvents) {
    return send(inUnit, kAudioUnitScheduleParametersSelect, encode_ptr(inParameterEvent), encode_u32(inNumParamEvents));
}

// [render thread]
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags *ioActionFlags,
                         const AudioTimeStamp *inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                         AudioBufferList *ioData) {
    return send(inUnit, kAudioUnitRenderSelect, encode_ptr(ioActionFlags), encode_ptr(inTimeStamp),
                encode_u32(inOutputBusNumber), encode_u32(inNumberFrames), encode_ptr(ioData));
}

}  // extern "C"

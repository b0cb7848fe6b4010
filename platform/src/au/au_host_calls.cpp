// The host-side Audio Unit calls: each packs its arguments into a request block (slot 0 the
// instance handle, argument i in slot i + 1) and hands it to the component's entry with the
// instance storage. The component does every check and answers; these calls add nothing but a
// refusal of a NULL handle, which has no entry to call.
//
// AudioUnitRender runs on the render thread: its block lives on the stack and the entry is called
// directly, with no allocation, lock or system call on the way.
#include "au/component_registry.h"
#include "au/request_block.h"

using platform::au::RequestBlock;
using platform::au::slot_f32;
using platform::au::slot_fn;
using platform::au::slot_ptr;
using platform::au::slot_u32;

namespace {

// Fills slot 0 with the handle and slots 1.. with the already encoded arguments, then calls.
template <typename... Slots>
inline OSStatus send(AudioUnit unit, SInt16 selector, Slots... slots) noexcept {
    if (!unit) return badComponentInstance;
    RequestBlock<1 + sizeof...(Slots)> block(selector);
    block.set(0, slot_ptr(unit));
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
    return send(inUnit, kAudioUnitGetPropertyInfoSelect, slot_u32(inID), slot_u32(inScope), slot_u32(inElement),
                slot_ptr(outDataSize), slot_ptr(outWritable));
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void *outData, UInt32 *ioDataSize) {
    return send(inUnit, kAudioUnitGetPropertySelect, slot_u32(inID), slot_u32(inScope), slot_u32(inElement),
                slot_ptr(outData), slot_ptr(ioDataSize));
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void *inData, UInt32 inDataSize) {
    return send(inUnit, kAudioUnitSetPropertySelect, slot_u32(inID), slot_u32(inScope), slot_u32(inElement),
                slot_ptr(inData), slot_u32(inDataSize));
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue *outValue) {
    return send(inUnit, kAudioUnitGetParameterSelect, slot_u32(inID), slot_u32(inScope), slot_u32(inElement),
                slot_ptr(outValue));
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames) {
    return send(inUnit, kAudioUnitSetParameterSelect, slot_u32(inID), slot_u32(inScope), slot_u32(inElement),
                slot_f32(inValue), slot_u32(inBufferOffsetInFrames));
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement) {
    return send(inUnit, kAudioUnitResetSelect, slot_u32(inScope), slot_u32(inElement));
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                      AudioUnitPropertyListenerProc inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitAddPropertyListenerSelect, slot_u32(inID), slot_fn(inProc), slot_ptr(inProcUserData));
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitRemovePropertyListenerWithUserDataSelect, slot_u32(inID), slot_fn(inProc),
                slot_ptr(inProcUserData));
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitAddRenderNotifySelect, slot_fn(inProc), slot_ptr(inProcUserData));
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void *inProcUserData) {
    return send(inUnit, kAudioUnitRemoveRenderNotifySelect, slot_fn(inProc), slot_ptr(inProcUserData));
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent *inParameterEvent,
                                     UInt32 inNumParamEvents) {
    return send(inUnit, kAudioUnitScheduleParametersSelect, slot_ptr(inParameterEvent), slot_u32(inNumParamEvents));
}

// [render thread]
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags *ioActionFlags,
                         const AudioTimeStamp *inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                         AudioBufferList *ioData) {
    return send(inUnit, kAudioUnitRenderSelect, slot_ptr(ioActionFlags), slot_ptr(inTimeStamp),
                slot_u32(inOutputBusNumber), slot_u32(inNumberFrames), slot_ptr(ioData));
}

}  // extern "C"

// The selector dispatch of the component entry and the direct entry points.
#include "framework/AUBase.h"

#include <cstring>
#include <memory>

namespace {

// Argument i of a request lies in slot i + 1 (slot 0 belongs to Open's handle and CanDo's selector).
// Numbers are read from the low half of their slot, pointers from the whole slot.
struct Arguments {
    const uintptr_t *slots;
    UInt32 U32(int i) const { return static_cast<UInt32>(slots[i + 1]); }
    template <class T> T *Ptr(int i) const { return reinterpret_cast<T *>(slots[i + 1]); }
    template <class Fn> Fn Proc(int i) const { return reinterpret_cast<Fn>(slots[i + 1]); }
    Float32 F32(int i) const {
        const UInt32 bits = U32(i);
        Float32 value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
};

}  // namespace

bool AUBase::CanDo(SInt16 selector, UInt8 apiVersion) {
    switch (selector) {
    case kComponentOpenSelect:
    case kComponentCloseSelect:
    case kComponentCanDoSelect:
    case kComponentVersionSelect:
    case kAudioUnitInitializeSelect:
    case kAudioUnitUninitializeSelect:
    case kAudioUnitGetPropertyInfoSelect:
    case kAudioUnitGetPropertySelect:
    case kAudioUnitSetPropertySelect:
    case kAudioUnitGetParameterSelect:
    case kAudioUnitSetParameterSelect:
    case kAudioUnitResetSelect:
    case kAudioUnitAddPropertyListenerSelect:
        return true;
    case kAudioUnitRenderSelect:
    case kAudioUnitAddRenderNotifySelect:
    case kAudioUnitRemoveRenderNotifySelect:
    case kAudioUnitScheduleParametersSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return apiVersion > 1;
    default:
        return false;
    }
}

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters *params, AUBase *self) {
    return Guard([&]() -> OSStatus {
        const Arguments args{params->params};
        switch (params->what) {
        case kComponentCanDoSelect:
            return CanDo(static_cast<SInt16>(params->params[0]), self->apiVersion_) ? 1 : 0;
        case kAudioUnitInitializeSelect:
            return self->DoInitialize();
        case kAudioUnitUninitializeSelect:
            self->DoCleanup();
            return noErr;
        case kAudioUnitGetPropertyInfoSelect: {
            UInt32 size = 0;
            Boolean writable = false;
            const OSStatus status = self->DispatchGetPropertyInfo(args.U32(0), args.U32(1), args.U32(2), size, writable);
            // Stored whatever the answer: a property whose element is missing still reports the
            // size and writability it has (only a thrown failure leaves the host's words alone).
            if (auto *outSize = args.Ptr<UInt32>(3)) *outSize = size;
            if (auto *outWritable = args.Ptr<Boolean>(4)) *outWritable = writable;
            return status;
        }
        case kAudioUnitGetPropertySelect:
            return self->GetPropertyWithSize(args.U32(0), args.U32(1), args.U32(2), args.Ptr<void>(3),
                                             args.Ptr<UInt32>(4));
        case kAudioUnitSetPropertySelect: {
            const void *data = args.Ptr<const void>(3);
            const UInt32 size = args.U32(4);
            if (data != nullptr && size != 0)
                return self->DispatchSetProperty(args.U32(0), args.U32(1), args.U32(2), data, size);
            if (data == nullptr && size == 0)
                return self->DispatchRemovePropertyValue(args.U32(0), args.U32(1), args.U32(2));
            return paramErr;
        }
        case kAudioUnitGetParameterSelect: {
            auto *outValue = args.Ptr<AudioUnitParameterValue>(3);
            if (outValue == nullptr) return paramErr;
            return self->GetParameter(args.U32(0), args.U32(1), args.U32(2), *outValue);
        }
        case kAudioUnitSetParameterSelect:
            return self->SetParameter(args.U32(0), args.U32(1), args.U32(2), args.F32(3), args.U32(4));
        case kAudioUnitResetSelect:
            return self->DoReset(args.U32(0), args.U32(1));
        case kAudioUnitAddPropertyListenerSelect:
            return self->AddPropertyListener(args.U32(0), args.Proc<AudioUnitPropertyListenerProc>(1),
                                             args.Ptr<void>(2));
        case kAudioUnitRenderSelect:
            return DirectRender(self, args.Ptr<AudioUnitRenderActionFlags>(0), args.Ptr<const AudioTimeStamp>(1),
                                args.U32(2), args.U32(3), args.Ptr<AudioBufferList>(4));
        case kAudioUnitAddRenderNotifySelect:
            return self->SetRenderNotification(args.Proc<AURenderCallback>(0), args.Ptr<void>(1));
        case kAudioUnitRemoveRenderNotifySelect:
            return self->RemoveRenderNotification(args.Proc<AURenderCallback>(0), args.Ptr<void>(1));
        case kAudioUnitScheduleParametersSelect:
            if (self->apiVersion_ <= 1) return badComponentSelector;
            return self->ScheduleParameter(args.Ptr<const AudioUnitParameterEvent>(0), args.U32(1));
        case kAudioUnitRemovePropertyListenerWithUserDataSelect:
            return self->RemovePropertyListener(args.U32(0), args.Proc<AudioUnitPropertyListenerProc>(1),
                                                args.Ptr<void>(2), true);
        default:
            return ComponentBase::ComponentEntryDispatch(params, self);
        }
    });
}

OSStatus AUBase::GetPropertyWithSize(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     void *outData, UInt32 *ioDataSize) {
    if (ioDataSize == nullptr) return paramErr;
    UInt32 size = 0;
    Boolean writable = false;
    if (outData == nullptr) {
        const OSStatus status = DispatchGetPropertyInfo(id, scope, element, size, writable);
        *ioDataSize = size;
        return status;
    }
    const UInt32 clientSize = *ioDataSize;
    if (clientSize == 0) return paramErr;
    OSStatus status = DispatchGetPropertyInfo(id, scope, element, size, writable);
    if (status != noErr) return status;
    if (clientSize >= size) {
        status = DispatchGetProperty(id, scope, element, outData);
        *ioDataSize = status == noErr ? size : 0;
        return status;
    }
    // A client buffer smaller than the property: fetch whole, hand out the leading bytes. The
    // temporary starts as the client's bytes, since some requests carry input fields.
    std::unique_ptr<Byte[]> temporary(new Byte[size]());
    std::memcpy(temporary.get(), outData, clientSize);
    status = DispatchGetProperty(id, scope, element, temporary.get());
    if (status != noErr) {
        *ioDataSize = 0;
        return status;
    }
    std::memcpy(outData, temporary.get(), clientSize);
    return noErr;
}

OSStatus AUBase::DirectGetParameter(void *storage, AudioUnitParameterID id, AudioUnitScope scope,
                                    AudioUnitElement element, AudioUnitParameterValue *outValue) {
    if (storage == nullptr || outValue == nullptr) return paramErr;
    return Guard([&] { return static_cast<AUBase *>(storage)->GetParameter(id, scope, element, *outValue); });
}

OSStatus AUBase::DirectSetParameter(void *storage, AudioUnitParameterID id, AudioUnitScope scope,
                                    AudioUnitElement element, AudioUnitParameterValue value, UInt32 offset) {
    if (storage == nullptr) return paramErr;
    return Guard([&] { return static_cast<AUBase *>(storage)->SetParameter(id, scope, element, value, offset); });
}

OSStatus AUBase::DirectRender(void *storage, AudioUnitRenderActionFlags *ioActionFlags,
                              const AudioTimeStamp *timeStamp, UInt32 bus, UInt32 frames, AudioBufferList *ioData) {
    if (storage == nullptr || timeStamp == nullptr || ioData == nullptr) return paramErr;
    AudioUnitRenderActionFlags localFlags = 0;
    return static_cast<AUBase *>(storage)->DoRender(ioActionFlags != nullptr ? ioActionFlags : &localFlags,
                                                    timeStamp, bus, frames, ioData);
}

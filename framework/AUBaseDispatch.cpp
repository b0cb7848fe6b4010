// The selector dispatch of the component entry and the direct entry points.
#include "framework/AUBase.h"

#include "platform/component_request.h"

#include <cstring>
#include <memory>

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
        const platform::ComponentRequest args(params);
        switch (params->what) {
        case kComponentCanDoSelect:
            return CanDo(args.asked_selector(), self->apiVersion_) ? 1 : 0;
        case kAudioUnitInitializeSelect:
            return self->DoInitialize();
        case kAudioUnitUninitializeSelect:
            self->DoCleanup();
            return noErr;
        case kAudioUnitGetPropertyInfoSelect: {
            UInt32 size = 0;
            Boolean writable = false;
            const OSStatus status = self->DispatchGetPropertyInfo(args.u32(0), args.u32(1), args.u32(2), size, writable);
            // Stored whatever the answer: a property whose element is missing still reports the
            // size and writability it has (only a thrown failure leaves the host's words alone).
            if (auto *outSize = args.ptr<UInt32>(3)) *outSize = size;
            if (auto *outWritable = args.ptr<Boolean>(4)) *outWritable = writable;
            return status;
        }
        case kAudioUnitGetPropertySelect:
            return self->GetPropertyWithSize(args.u32(0), args.u32(1), args.u32(2), args.ptr<void>(3),
                                             args.ptr<UInt32>(4));
        case kAudioUnitSetPropertySelect: {
            const void *data = args.ptr<const void>(3);
            const UInt32 size = args.u32(4);
            if (data != nullptr && size != 0)
                return self->DispatchSetProperty(args.u32(0), args.u32(1), args.u32(2), data, size);
            if (data == nullptr && size == 0)
                return self->DispatchRemovePropertyValue(args.u32(0), args.u32(1), args.u32(2));
            return paramErr;
        }
        case kAudioUnitGetParameterSelect: {
            auto *outValue = args.ptr<AudioUnitParameterValue>(3);
            if (outValue == nullptr) return paramErr;
            return self->GetParameter(args.u32(0), args.u32(1), args.u32(2), *outValue);
        }
        case kAudioUnitSetParameterSelect:
            return self->SetParameter(args.u32(0), args.u32(1), args.u32(2), args.f32(3), args.u32(4));
        case kAudioUnitResetSelect:
            return self->DoReset(args.u32(0), args.u32(1));
        case kAudioUnitAddPropertyListenerSelect:
            return self->AddPropertyListener(args.u32(0), args.proc<AudioUnitPropertyListenerProc>(1),
                                             args.ptr<void>(2));
        case kAudioUnitRenderSelect:
            return DirectRender(self, args.ptr<AudioUnitRenderActionFlags>(0), args.ptr<const AudioTimeStamp>(1),
                                args.u32(2), args.u32(3), args.ptr<AudioBufferList>(4));
        case kAudioUnitAddRenderNotifySelect:
            return self->SetRenderNotification(args.proc<AURenderCallback>(0), args.ptr<void>(1));
        case kAudioUnitRemoveRenderNotifySelect:
            return self->RemoveRenderNotification(args.proc<AURenderCallback>(0), args.ptr<void>(1));
        case kAudioUnitScheduleParametersSelect:
            if (self->apiVersion_ <= 1) return badComponentSelector;
            return self->ScheduleParameter(args.ptr<const AudioUnitParameterEvent>(0), args.u32(1));
        case kAudioUnitRemovePropertyListenerWithUserDataSelect:
            return self->RemovePropertyListener(args.u32(0), args.proc<AudioUnitPropertyListenerProc>(1),
                                                args.ptr<void>(2), true);
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

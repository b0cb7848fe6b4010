// The render flow up to the effect: argument checks, floating-point mode, render notifications,
// output buffers, the bus render, scheduled-parameter slicing and render-error recording.
//
// Everything here runs on the render thread (ScheduleParameter on the thread that renders next) and
// allocates nothing, takes no lock and throws nothing: failures are statuses.
#include "framework/AUBase.h"

#include <platform/fp_control.h>

#include <algorithm>

namespace {

// Where an event starts in the buffer: a ramp's start offset is signed, an immediate one's is not.
SInt64 EventOffset(const AudioUnitParameterEvent &event) {
    return event.eventType == kParameterEvent_Ramped ? SInt64{event.eventValues.ramp.startBufferOffset}
                                                     : SInt64{event.eventValues.immediate.bufferOffset};
}

SInt64 RampEnd(const AudioUnitParameterEvent &event) {
    return SInt64{event.eventValues.ramp.startBufferOffset} + event.eventValues.ramp.durationInFrames;
}

}  // namespace

void AUBase::RecordRenderError(OSStatus status) noexcept {
    OSStatus expected = noErr;
    if (lastRenderError_.compare_exchange_strong(expected, status))
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags *ioActionFlags, const AudioTimeStamp *timeStamp, UInt32 bus,
                          UInt32 frames, AudioBufferList *ioData) noexcept {
    // Denormals would slow every decaying filter to a crawl: flush them for the whole call.
    platform::DenormalsOffScope denormalsOff;
    if (timeStamp == nullptr || ioData == nullptr) return paramErr;
    AudioUnitRenderActionFlags localFlags = 0;
    AudioUnitRenderActionFlags &flags = ioActionFlags != nullptr ? *ioActionFlags : localFlags;
    const OSStatus status = DoRenderBody(flags, *timeStamp, bus, frames, *ioData);
    // The events belonged to this render, whatever became of it.
    scheduledEvents_.clear();
    return status;
}

OSStatus AUBase::DoRenderBody(AudioUnitRenderActionFlags &flags, const AudioTimeStamp &timeStamp, UInt32 bus,
                              UInt32 frames, AudioBufferList &ioData) noexcept {
    auto refuse = [this](OSStatus status) {
        RecordRenderError(status);
        return status;
    };
    if (!IsInitialized()) return refuse(kAudioUnitErr_Uninitialized);
    if (frames > maxFramesPerSlice_) return refuse(kAudioUnitErr_TooManyFramesToProcess);
    AUOutputElement *output = FindOutput(bus);
    if (output == nullptr) return kAudioUnitErr_InvalidElement;
    const AudioStreamBasicDescription &format = output->GetStreamFormat();
    if (ioData.mNumberBuffers != AUBufferList::StreamCount(format)) return refuse(paramErr);
    const UInt32 bytes = frames * format.mBytesPerFrame;
    for (UInt32 i = 0; i < ioData.mNumberBuffers; ++i) {
        AudioBuffer &buffer = ioData.mBuffers[i];
        if (buffer.mData == nullptr) continue;
        if (buffer.mDataByteSize < bytes) return refuse(paramErr);
        buffer.mDataByteSize = bytes;
    }

    const bool notify = renderNotifications_.Touched();
    if (notify) {
        renderNotifications_.Update();
        renderNotifications_.Call(flags | kAudioUnitRenderAction_PreRender, &timeStamp, bus, frames, &ioData);
    }

    // Render straight into the caller's memory when it brought some; else into our own, and hand
    // the caller pointers to it.
    const bool callerHasMemory = ioData.mNumberBuffers > 0 && ioData.mBuffers[0].mData != nullptr;
    // Rendering straight into the caller's list needs memory behind every buffer: a list whose
    // later buffers are null is rendered into our own memory and copied (or pointed) out.
    bool callerMemoryComplete = callerHasMemory;
    for (UInt32 i = 1; i < ioData.mNumberBuffers && callerMemoryComplete; ++i)
        callerMemoryComplete = ioData.mBuffers[i].mData != nullptr;
    AUBufferList &buffers = output->IOBuffer();
    AudioBufferList *prepared = nullptr;
    OSStatus status = noErr;
    if (callerMemoryComplete) {
        if (!output->WillAllocateBuffer() || scopes_[kAudioUnitScope_Output].GetNumberOfElements() < 2)
            status = buffers.SetBufferList(ioData);
        else
            status = output->PrepareBuffer(frames, prepared);
    } else if (!output->WillAllocateBuffer()) {
        status = kAudioUnitErr_InvalidPropertyValue;
    } else {
        status = output->PrepareBuffer(frames, prepared);
    }
    if (status == noErr) {
        try {
            status = RenderBus(flags, timeStamp, bus, frames);
        } catch (...) {
            status = CurrentExceptionStatus();
        }
    }
    if (status == noErr) {
        if (callerHasMemory) {
            status = buffers.CopyBufferContentsTo(ioData);
        } else if ((status = buffers.GetBufferList(prepared)) == noErr && prepared->mNumberBuffers > 0) {
            for (UInt32 i = 0; i < ioData.mNumberBuffers; ++i)
                ioData.mBuffers[i] = prepared->mBuffers[std::min(i, prepared->mNumberBuffers - 1)];
        }
    }

    AudioUnitRenderActionFlags postFlags = flags | kAudioUnitRenderAction_PostRender;
    if (status != noErr) {
        RecordRenderError(status);
        postFlags |= kAudioUnitRenderAction_PostRenderError;
    }
    if (notify) renderNotifications_.Call(postFlags, &timeStamp, bus, frames, &ioData);
    return status;
}

OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp, UInt32,
                           UInt32 frames) {
    // A second pull for the same moment (a unit feeding two destinations) renders nothing new.
    const Float64 last = GetLastRenderedSampleTime();
    const bool sameTime = !(timeStamp.mSampleTime < last) && !(timeStamp.mSampleTime > last);
    lastRenderedSampleTime_.store(timeStamp.mSampleTime, std::memory_order_relaxed);
    if (sameTime) return noErr;
    return Render(ioActionFlags, timeStamp, frames);
}

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent *events, UInt32 count) {
    if (events == nullptr && count > 0) return paramErr;
    if (count > scheduledEvents_.capacity() - scheduledEvents_.size()) return kAudioUnitErr_CannotDoInCurrentContext;
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent &event = events[i];
        if (event.eventType == kParameterEvent_Immediate)
            SetParameter(event.parameter, event.scope, event.element, event.eventValues.immediate.value,
                         event.eventValues.immediate.bufferOffset);
        scheduledEvents_.push_back(event);
    }
    return noErr;
}

OSStatus AUBase::ProcessForScheduledParams(std::vector<AudioUnitParameterEvent> &events, UInt32 frames,
                                           void *userData) {
    // Stable insertion sort by start offset: in place, no allocation, and the lists are short.
    for (size_t i = 1; i < events.size(); ++i) {
        const AudioUnitParameterEvent event = events[i];
        size_t j = i;
        for (; j > 0 && EventOffset(events[j - 1]) > EventOffset(event); --j) events[j] = events[j - 1];
        events[j] = event;
    }

    OSStatus status = noErr;
    for (SInt64 start = 0; start < SInt64{frames};) {
        // The slice ends at the next event start or ramp end after its start.
        SInt64 end = frames;
        for (const AudioUnitParameterEvent &event : events) {
            const SInt64 offset = EventOffset(event);
            if (event.eventType == kParameterEvent_Ramped) {
                const SInt64 rampEnd = RampEnd(event);
                if (rampEnd > start && rampEnd < end) end = rampEnd;
            }
            if (offset > start && offset < end) {
                end = offset;
                break;
            }
        }
        const auto sliceStart = static_cast<UInt32>(start);
        const auto sliceFrames = static_cast<UInt32>(end - start);

        for (const AudioUnitParameterEvent &event : events) {
            const SInt64 offset = EventOffset(event);
            const bool active = event.eventType == kParameterEvent_Ramped ? offset < end && RampEnd(event) > start
                                                                          : offset <= start;
            if (!active) continue;
            if (event.scope >= kNumScopes) return kAudioUnitErr_InvalidScope;
            AUElement *element = scopes_[event.scope].GetElement(event.element);
            if (element == nullptr) continue;
            // While rendering the instance is initialized, so a missing map entry is not created.
            ParameterMapEvent *parameter = element->FindParameter(event.parameter);
            if (parameter == nullptr) {
                if (element->UsesIndexedParameters()) return kAudioUnitErr_InvalidParameter;
                continue;
            }
            parameter->SetScheduled(event, sliceStart, sliceFrames);
        }

        status = ProcessScheduledSlice(userData, sliceStart, sliceFrames, frames);
        if (status != noErr) break;
        start = end;
    }
    return status;
}

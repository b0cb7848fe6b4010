// The property table through the host API: sizes, writability, element checks, the set rules and
// the framework's own notifications, and the listener list.
#include "tests/framework/FrameworkTestHost.h"

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

using namespace fwtest;

namespace {

struct Heard {
    std::vector<std::tuple<AudioUnitPropertyID, AudioUnitScope, AudioUnitElement>> events;
    static void Listener(void *self, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
        static_cast<Heard *>(self)->events.emplace_back(id, scope, element);
    }
    size_t Count(AudioUnitPropertyID id) const {
        size_t n = 0;
        for (const auto &event : events) n += std::get<0>(event) == id;
        return n;
    }
    void Listen(AudioUnit unit, AudioUnitPropertyID id) {
        ASSERT_EQ(AudioUnitAddPropertyListener(unit, id, &Heard::Listener, this), noErr);
    }
};

struct Info {
    OSStatus status;
    UInt32 size;
    Boolean writable;
};
Info InfoOf(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope = kAudioUnitScope_Global,
            AudioUnitElement element = 0) {
    Info info{0, 0xFFFF, 7};
    info.status = AudioUnitGetPropertyInfo(unit, id, scope, element, &info.size, &info.writable);
    return info;
}

}  // namespace

TEST(PropertyInfo, SizesAndWritabilityOfTheTable) {
    Unit unit;
    struct Row {
        AudioUnitPropertyID id;
        AudioUnitScope scope;
        UInt32 size;
        bool writable;
    };
    const Row rows[] = {
        {kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 8, true},
        {kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 16, true},
        {kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 8, true},
        {kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 8, false},
        {kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, false},
        {kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 8, false},
        {kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 40, true},
        {kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 4, false},
        {kAudioUnitProperty_Latency, kAudioUnitScope_Global, 8, false},
        {kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 8, false},
        {kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 4, true},
        {kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 4, true},
        {kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 4, false},
        {kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 16, true},
        {kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 8, true},
        {kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 32, true},
        {kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 4, true},
        {kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 8, true},
        {kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 16, false},
        {kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 16, true},
        {kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 4, true},
        {0x6C727374 /* lrst */, kAudioUnitScope_Input, 8, false},
    };
    for (const Row &row : rows) {
        const Info info = InfoOf(unit, row.id, row.scope);
        EXPECT_EQ(info.status, noErr) << "property " << row.id;
        EXPECT_EQ(info.size, row.size) << "property " << row.id;
        EXPECT_EQ(bool(info.writable), row.writable) << "property " << row.id;
    }
    // Properties the unit does not offer, and global-only properties asked in another scope.
    for (AudioUnitPropertyID id : {kAudioUnitProperty_TailTime, kAudioUnitProperty_CPULoad,
                                   kAudioUnitProperty_RenderQuality, kAudioUnitProperty_SetExternalBuffer,
                                   kAudioUnitProperty_ParameterValueStrings, kAudioUnitProperty_FactoryPresets,
                                   kAudioUnitProperty_IconLocation, kAudioUnitProperty_GetUIComponentList})
        EXPECT_EQ(InfoOf(unit, id).status, kAudioUnitErr_InvalidProperty) << "property " << id;
    for (AudioUnitPropertyID id : {kAudioUnitProperty_ClassInfo, kAudioUnitProperty_Latency,
                                   kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitProperty_PresentPreset})
        EXPECT_EQ(InfoOf(unit, id, kAudioUnitScope_Input).status, kAudioUnitErr_InvalidScope) << "property " << id;
    EXPECT_EQ(InfoOf(unit, kAudioUnitProperty_ShouldAllocateBuffer).status, kAudioUnitErr_InvalidScope);
}

TEST(PropertyInfo, ElementChecks) {
    Unit unit;
    EXPECT_EQ(InfoOf(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Input, 1).status, kAudioUnitErr_InvalidElement);
    EXPECT_EQ(InfoOf(unit, kAudioUnitProperty_StreamFormat, 5).status, kAudioUnitErr_InvalidScope);
    EXPECT_EQ(InfoOf(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Group).status, kAudioUnitErr_InvalidElement);
    EXPECT_EQ(InfoOf(unit, kAudioUnitProperty_ElementCount, 7).status, kAudioUnitErr_InvalidScope);
    // Parameter info names the parameter in the element field: no element check.
    const Info info = InfoOf(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 15);
    EXPECT_EQ(info.status, noErr);
    EXPECT_EQ(info.size, 104u);
    UInt32 count = 0;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Group, 0, count), noErr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, UInt32{2}),
              kAudioUnitErr_PropertyNotWritable);
}

TEST(StreamFormat, WritableOnlyWhileUninitializedAndChecked) {
    Unit unit;
    Heard heard;
    heard.Listen(unit, kAudioUnitProperty_StreamFormat);

    AudioStreamBasicDescription mono = CanonicalFormat(1, 48000.0);
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono, 35),
              kAudioUnitErr_InvalidPropertyValue);
    mono.mReserved = 0xDEAD;  // 36 bytes suffice; the reserved word is cleared
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono, 36), noErr);
    AudioStreamBasicDescription got{};
    ASSERT_EQ(Get(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, got), noErr);
    EXPECT_EQ(got.mChannelsPerFrame, 1u);
    EXPECT_EQ(got.mSampleRate, 48000.0);
    EXPECT_EQ(got.mReserved, 0u);
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0], std::make_tuple(AudioUnitPropertyID(kAudioUnitProperty_StreamFormat),
                                               AudioUnitScope(kAudioUnitScope_Input), AudioUnitElement(0)));

    // Rates that everything downstream would divide by are refused, through both properties.
    for (Float64 rate : {0.0, -1.0, std::nan("")}) {
        EXPECT_EQ(Set(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, CanonicalFormat(2, rate)),
                  kAudioUnitErr_FormatNotSupported) << rate;
        EXPECT_EQ(Set(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rate),
                  kAudioUnitErr_FormatNotSupported) << rate;
    }
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &got.mSampleRate, 4),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, 96000.0), noErr);
    Float64 rate = 0;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, rate), noErr);  // global = output 0
    EXPECT_EQ(rate, 96000.0);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1, CanonicalFormat(2)),
              kAudioUnitErr_InvalidElement);

    ASSERT_EQ(SetChannels(unit, 1, 1), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    const size_t before = heard.events.size();
    EXPECT_FALSE(InfoOf(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input).writable);
    // The format it already has is accepted while initialized; any other is not writable.
    EXPECT_EQ(Set(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, CanonicalFormat(1)), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, 44100.0), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, CanonicalFormat(2)),
              kAudioUnitErr_PropertyNotWritable);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, 48000.0),
              kAudioUnitErr_PropertyNotWritable);
    EXPECT_EQ(heard.events.size(), before);
}

TEST(Properties, MaximumFramesLastRenderedTimeAndShouldAllocate) {
    Unit unit;
    Heard heard;
    heard.Listen(unit, kAudioUnitProperty_MaximumFramesPerSlice);
    UInt32 frames = 0;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, frames), noErr);
    EXPECT_EQ(frames, 1156u);
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &frames, 2),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32{256}), noErr);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_MaximumFramesPerSlice), 1u);

    EXPECT_EQ(Set(unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 1, UInt32{0}),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, UInt32{0}), noErr);
    UInt32 allocate = 1;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, allocate), noErr);
    EXPECT_EQ(allocate, 0u);

    Float64 sampleTime = 0;
    EXPECT_EQ(Get(unit, 0x6C727374, kAudioUnitScope_Global, 0, sampleTime), noErr);
    EXPECT_EQ(sampleTime, -1.0);

    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32{512}),
              kAudioUnitErr_Initialized);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, UInt32{1}),
              kAudioUnitErr_Initialized);
}

TEST(Properties, BypassResetsOnlyWhenSwitchedOffWhileInitialized) {
    Unit unit;
    Heard heard;
    heard.Listen(unit, kAudioUnitProperty_BypassEffect);
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, 0, 0, "\1", 1), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{1}), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    EXPECT_EQ(Record(unit).resets, 0u);  // not initialized: no reset

    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{7}), noErr);
    EXPECT_EQ(Record(unit).resets, 0u);
    UInt32 bypass = 0;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, bypass), noErr);
    EXPECT_EQ(bypass, 1u);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    EXPECT_EQ(Record(unit).resets, 1u);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_BypassEffect), 4u);
    // Bypass is a global property: elsewhere the framework does not know it.
    EXPECT_EQ(Set(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Input, 0, UInt32{1}),
              kAudioUnitErr_InvalidProperty);
}

TEST(Properties, HostCallbacksZeroFillAndNotifyOnChange) {
    Unit unit;
    Heard heard;
    heard.Listen(unit, kAudioUnitProperty_HostCallbacks);
    HostCallbackInfo full{};
    std::memset(&full, 0x11, sizeof full);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, full), noErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, full), noErr);  // unchanged
    EXPECT_EQ(heard.Count(kAudioUnitProperty_HostCallbacks), 1u);

    unsigned char half[16];
    std::memset(half, 0x22, sizeof half);
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, half, 16), noErr);
    unsigned char got[32];
    UInt32 size = sizeof got;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, got, &size), noErr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(got[i], 0x22);
    for (int i = 16; i < 32; ++i) EXPECT_EQ(got[i], 0);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_HostCallbacks), 2u);

    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, nullptr, 0), noErr);
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, nullptr, 0), noErr);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_HostCallbacks), 3u);  // only the removal that changed something
    EXPECT_EQ(Set(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Output, 0, full), kAudioUnitErr_InvalidScope);
}

TEST(Properties, NamesAndPresets) {
    Unit unit;
    Heard heard;
    for (AudioUnitPropertyID id : {kAudioUnitProperty_ContextName, kAudioUnitProperty_ElementName,
                                   kAudioUnitProperty_PresentPreset})
        heard.Listen(unit, id);

    CFStringRef got = nullptr;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, got), kAudioUnitErr_InvalidPropertyValue);
    CFStringRef context = CFStringCreateWithCString(nullptr, "Track 3", kCFStringEncodingUTF8);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, context), noErr);
    CFRelease(context);  // the unit holds its own reference
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, got), noErr);
    EXPECT_STREQ(CFStringGetCStringPtr(got, kCFStringEncodingUTF8), "Track 3");
    CFRelease(got);
    int number = 5;
    CFNumberRef notAString = CFNumberCreate(nullptr, kCFNumberIntType, &number);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, notAString),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, notAString),
              kAudioUnitErr_InvalidPropertyValue);
    CFRelease(notAString);

    EXPECT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 1, CFSTR("Out")),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ElementName, 5, 0, CFSTR("Out")), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, CFSTR("Main out")), noErr);
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, got), noErr);
    EXPECT_STREQ(CFStringGetCStringPtr(got, kCFStringEncodingUTF8), "Main out");
    CFRelease(got);

    AUPreset preset{};
    ASSERT_EQ(Get(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, preset), noErr);
    EXPECT_EQ(preset.presetNumber, -1);
    EXPECT_STREQ(CFStringGetCStringPtr(preset.presetName, kCFStringEncodingUTF8), "Untitled");
    CFRelease(preset.presetName);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{0, CFSTR("Factory")}),
              kAudioUnitErr_InvalidProperty);  // no factory presets
    EXPECT_EQ(Set(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-1, nullptr}),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-4, CFSTR("Mine")}), noErr);
    ASSERT_EQ(Get(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, preset), noErr);
    EXPECT_EQ(preset.presetNumber, -4);
    EXPECT_STREQ(CFStringGetCStringPtr(preset.presetName, kCFStringEncodingUTF8), "Mine");
    CFRelease(preset.presetName);

    EXPECT_EQ(heard.Count(kAudioUnitProperty_ContextName), 1u);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_ElementName), 1u);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_PresentPreset), 1u);
    // Removing the context name is silent.
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, nullptr, 0), noErr);
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, got), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(heard.Count(kAudioUnitProperty_ContextName), 1u);
}

TEST(Properties, FastDispatchClumpNamesAndExternalBuffers) {
    Unit unit;
    AudioUnitGetParameterProc getParameter = nullptr;
    ASSERT_EQ(Get(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitGetParameterSelect, getParameter),
              noErr);
    AudioUnitSetParameterProc setParameter = nullptr;
    ASSERT_EQ(Get(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitSetParameterSelect, setParameter),
              noErr);
    AudioUnitRenderProc render = nullptr;
    ASSERT_EQ(Get(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitRenderSelect, render), noErr);
    void *other = nullptr;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 3, other), kAudioUnitErr_InvalidProperty);

    void *storage = GetComponentInstanceStorage(unit);
    EXPECT_EQ(setParameter(storage, TestGain::kGain, kAudioUnitScope_Global, 0, 2.5f, 0), noErr);
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(getParameter(storage, TestGain::kGain, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 2.5f);
    EXPECT_EQ(getParameter(storage, 9, kAudioUnitScope_Global, 0, &value), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(getParameter(nullptr, 0, kAudioUnitScope_Global, 0, &value), paramErr);
    EXPECT_EQ(getParameter(storage, 0, kAudioUnitScope_Global, 0, nullptr), paramErr);
    EXPECT_EQ(setParameter(nullptr, 0, kAudioUnitScope_Global, 0, 1.0f, 0), paramErr);
    Buffers buffers(2, 16);
    const AudioTimeStamp stamp = TimeStamp(0);
    EXPECT_EQ(render(storage, nullptr, nullptr, 0, 16, buffers.list()), paramErr);
    EXPECT_EQ(render(storage, nullptr, &stamp, 0, 16, buffers.list()), kAudioUnitErr_Uninitialized);

    AudioUnitParameterNameInfo clump{kAudioUnitClumpID_System, 10, nullptr};
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, clump),
              kAudioUnitErr_InvalidPropertyValue);
    clump.inID = 3;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, clump),
              kAudioUnitErr_InvalidProperty);

    alignas(16) static unsigned char block[64 * 1024];
    AudioUnitExternalBuffer external{block, sizeof block};
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, &external, 8),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, external),
              kAudioUnitErr_Uninitialized);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    AudioUnitExternalBuffer misaligned{block + 4, sizeof block - 16};
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, misaligned), paramErr);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, external), noErr);
}

TEST(Listeners, DuplicatesAreCalledTwiceAndRemovedTogether) {
    Unit unit;
    Heard first, second;
    first.Listen(unit, kAudioUnitProperty_ElementName);
    first.Listen(unit, kAudioUnitProperty_ElementName);
    second.Listen(unit, kAudioUnitProperty_ElementName);
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, CFSTR("In")), noErr);
    EXPECT_EQ(first.events.size(), 2u);
    EXPECT_EQ(second.events.size(), 1u);

    // Another user data removes nothing; the matching one removes both duplicates and nothing else.
    int stranger = 0;
    EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_ElementName, &Heard::Listener,
                                                          &stranger),
              noErr);
    EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_ElementName, &Heard::Listener, &first),
              noErr);
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, CFSTR("In 2")), noErr);
    EXPECT_EQ(first.events.size(), 2u);
    EXPECT_EQ(second.events.size(), 2u);
}

TEST(Listeners, AListenerWithoutACallbackIsRefused) {
    Unit unit;
    int userData = 0;
    EXPECT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_ElementName, nullptr, &userData), paramErr);
    Heard heard;
    heard.Listen(unit, kAudioUnitProperty_ElementName);
    // The change is announced to the real listener and nothing calls through a null pointer.
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, CFSTR("In")), noErr);
    EXPECT_EQ(heard.events.size(), 1u);
}

TEST(Listeners, ACallbackMayRemoveItselfWhileBeingNotified) {
    struct SelfRemoving {
        AudioUnit unit;
        int calls = 0;
        static void Listener(void *self, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement) {
            auto &me = *static_cast<SelfRemoving *>(self);
            ++me.calls;
            AudioUnitRemovePropertyListenerWithUserData(unit, id, &SelfRemoving::Listener, self);
        }
    };
    Unit unit;
    SelfRemoving listener{unit};
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_ContextName, &SelfRemoving::Listener, &listener), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_ContextName, &SelfRemoving::Listener, &listener), noErr);
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, CFSTR("a")), noErr);
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, CFSTR("b")), noErr);
    // The first call removed both entries; the second entry of the same notification is skipped.
    EXPECT_EQ(listener.calls, 1);
}

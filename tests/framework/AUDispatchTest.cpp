// The component entry: selector dispatch, CanDo, status conversion, Open/Close, lifecycle,
// GetProperty's buffer handling, scopes, elements, parameters and formats.
#include "framework/ComponentEntryPoint.h"
#include "tests/framework/FrameworkTestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

using namespace fwtest;

namespace {

// Counts the lifecycle calls the entry makes, and can refuse Initialize.
class CountingEffect : public TestGain {
public:
    explicit CountingEffect(AudioComponentInstance instance) : TestGain(instance) {}
    OSStatus Initialize() override {
        ++initializeCalls;
        return refuseInitialize != noErr ? refuseInitialize : TestGain::Initialize();
    }
    void Cleanup() override {
        ++cleanupCalls;
        ++cleanupsEver;
        TestGain::Cleanup();
    }
    static inline int cleanupsEver = 0;
    int initializeCalls = 0, cleanupCalls = 0;
    OSStatus refuseInitialize = noErr;
};

class ThrowingPostConstructor : public TestGain {
public:
    explicit ThrowingPostConstructor(AudioComponentInstance instance) : TestGain(instance) {}
    void PostConstructor() override { throw OSStatus(-12345); }
};

using Entry = ComponentEntryPoint<CountingEffect>;

// An instance made in this process, addressed through the entry with hand-packed requests.
struct Direct {
    CountingEffect *effect = new CountingEffect(nullptr);
    Direct() { effect->PostConstructor(); }
    ~Direct() {
        if (effect != nullptr) Close();
    }
    OSStatus Call(ComponentParameters *params) { return Entry::Dispatch(params, effect); }
    OSStatus Close() {
        Request<0> close(kComponentCloseSelect);
        const OSStatus status = Call(close.header());
        effect = nullptr;
        return status;
    }
    OSStatus Initialize() {
        Request<0> request(kAudioUnitInitializeSelect);
        return Call(request.header());
    }
};

}  // namespace

TEST(EntryDispatch, RefusesMissingStorageHandleAndUnknownSelectors) {
    Request<0> initialize(kAudioUnitInitializeSelect);
    EXPECT_EQ(Entry::Dispatch(initialize.header(), nullptr), paramErr);
    EXPECT_EQ(Entry::Dispatch(nullptr, nullptr), paramErr);
    Request<0> open(kComponentOpenSelect);  // slot 0: no handle
    EXPECT_EQ(Entry::Dispatch(open.header(), nullptr), paramErr);

    Direct direct;
    for (SInt16 selector : {0, 8, 11, 12, 13, 19, 20, 0x7FFF, -5, -6, -100}) {
        Request<5> request(selector);
        EXPECT_EQ(direct.Call(request.header()), badComponentSelector) << "selector " << selector;
    }
}

TEST(EntryDispatch, CanDoAnswersTheSelectorTable) {
    Direct direct;
    auto canDo = [&](SInt16 selector) {
        Request<0> request(kComponentCanDoSelect);
        request.slot(0, static_cast<uintptr_t>(static_cast<intptr_t>(selector)));
        return direct.Call(request.header());
    };
    for (SInt16 selector : {-1, -2, -3, -4, 1, 2, 3, 4, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18})
        EXPECT_EQ(canDo(selector), 1) << "selector " << selector;
    for (SInt16 selector : {0, 8, 11, 12, 13, 19, 20, -5, -7})
        EXPECT_EQ(canDo(selector), 0) << "selector " << selector;
}

TEST(EntryDispatch, ThrownFailuresBecomeStatuses) {
    EXPECT_EQ(ComponentBase::Guard([]() -> OSStatus { throw std::bad_alloc(); }), memFullErr);
    EXPECT_EQ(ComponentBase::Guard([]() -> OSStatus { throw OSStatus(kAudioUnitErr_InvalidElement); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(ComponentBase::Guard([]() -> OSStatus { throw SInt16(-2); }), -2);  // sign-extended
    EXPECT_EQ(ComponentBase::Guard([]() -> OSStatus { throw std::runtime_error("x"); }), -1);
    EXPECT_EQ(ComponentBase::Guard([]() -> OSStatus { throw 2.5; }), -1);

    // Through the entry: a parameter request for a scope of 5 throws inside and arrives converted.
    Direct direct;
    AudioUnitParameterValue value = 0;
    Request<4> get(kAudioUnitGetParameterSelect);
    get.arg(0, 0).arg(1, 5).arg(2, 0).argPtr(3, &value);
    EXPECT_EQ(direct.Call(get.header()), kAudioUnitErr_InvalidScope);
    get.arg(1, kAudioUnitScope_Global).argPtr(3, static_cast<float *>(nullptr));
    EXPECT_EQ(direct.Call(get.header()), paramErr);
}

TEST(EntryDispatch, OpenDestroysAnInstanceWhosePostConstructorFails) {
    // The handle is never used on this path: PostConstructor fails before the storage is set.
    int notAnInstance = 0;
    Request<0> open(kComponentOpenSelect);
    open.slot(0, reinterpret_cast<uintptr_t>(&notAnInstance));
    // The leak check of the sanitizer build sees the instance freed.
    EXPECT_EQ(ComponentEntryPoint<ThrowingPostConstructor>::Dispatch(open.header(), nullptr), -12345);
}

TEST(EntryDispatch, InitializeOnceCleanupOnCloseAndAFailedInitializeLeavesTheInstanceUsable) {
    Direct direct;
    direct.effect->refuseInitialize = kAudioUnitErr_FailedInitialization;
    EXPECT_EQ(direct.Initialize(), kAudioUnitErr_FailedInitialization);
    EXPECT_FALSE(direct.effect->IsInitialized());
    direct.effect->refuseInitialize = noErr;
    EXPECT_EQ(direct.Initialize(), noErr);
    EXPECT_EQ(direct.Initialize(), noErr);
    EXPECT_EQ(direct.effect->initializeCalls, 2);  // the refused one and the first accepted one

    Request<0> uninitialize(kAudioUnitUninitializeSelect);
    EXPECT_EQ(direct.Call(uninitialize.header()), noErr);
    EXPECT_EQ(direct.Call(uninitialize.header()), noErr);
    EXPECT_EQ(direct.effect->cleanupCalls, 1);
    EXPECT_EQ(direct.Initialize(), noErr);

    // Close from the initialized state cleans up before the instance goes.
    const int before = CountingEffect::cleanupsEver;
    EXPECT_EQ(direct.Close(), noErr);
    EXPECT_EQ(CountingEffect::cleanupsEver, before + 1);
}

TEST(EntryDispatch, SetPropertyNeedsDataAndSizeTogether) {
    Direct direct;
    UInt32 frames = 512;
    Request<5> set(kAudioUnitSetPropertySelect);
    set.arg(0, kAudioUnitProperty_MaximumFramesPerSlice).arg(1, 0).arg(2, 0).argPtr(3, &frames).arg(4, 0);
    EXPECT_EQ(direct.Call(set.header()), paramErr);
    set.argPtr(3, static_cast<UInt32 *>(nullptr)).arg(4, 4);
    EXPECT_EQ(direct.Call(set.header()), paramErr);
    set.argPtr(3, &frames).arg(4, 4);
    EXPECT_EQ(direct.Call(set.header()), noErr);
    EXPECT_EQ(direct.effect->GetMaxFramesPerSlice(), 512u);
    // Both absent: a removal, which the framework answers for properties that can be removed.
    set.argPtr(3, static_cast<UInt32 *>(nullptr)).arg(4, 0);
    EXPECT_EQ(direct.Call(set.header()), kAudioUnitErr_InvalidPropertyValue);
}

TEST(EntryDispatch, GetPropertyHandlesClientBufferSizes) {
    Direct direct;
    auto get = [&](AudioUnitPropertyID id, AudioUnitScope scope, void *data, UInt32 *size) {
        Request<5> request(kAudioUnitGetPropertySelect);
        request.arg(0, id).arg(1, scope).arg(2, 0).argPtr(3, data).argPtr(4, size);
        return direct.Call(request.header());
    };
    AudioStreamBasicDescription format{};
    EXPECT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, &format, nullptr), paramErr);
    UInt32 size = 0;
    EXPECT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, &format, &size), paramErr);
    EXPECT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, nullptr, &size), noErr);
    EXPECT_EQ(size, 40u);

    // Smaller than the property: the leading bytes (the sample rate), size word left as given.
    Float64 rate = 0;
    size = sizeof rate;
    EXPECT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, &rate, &size), noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(rate, 44100.0);

    // Larger: the whole property, size word set to its size.
    unsigned char big[64];
    std::memset(big, 0xAB, sizeof big);
    size = sizeof big;
    EXPECT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, big, &size), noErr);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(big[40], 0xAB);

    // A failing fetch leaves the size word 0.
    size = 4;
    OSStatus error = 0;
    EXPECT_EQ(get(kAudioUnitProperty_ElementName, kAudioUnitScope_Global, &error, &size), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(size, 0u);
}

TEST(EntryDispatch, GetPropertyInfoReportsSizeAndWritabilityEvenForAMissingElement) {
    Direct direct;
    auto info = [&](AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, UInt32 *size,
                    Boolean *writable) {
        Request<5> request(kAudioUnitGetPropertyInfoSelect);
        request.arg(0, id).arg(1, scope).arg(2, element).argPtr(3, size).argPtr(4, writable);
        return direct.Call(request.header());
    };
    // The size and writability are filled in before the element check fails: the host gets them.
    UInt32 size = 0xDEAD;
    Boolean writable = false;
    EXPECT_EQ(info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 3, &size, &writable),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(size, 40u);
    EXPECT_TRUE(writable);
    size = 0xDEAD;
    EXPECT_EQ(info(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 1, &size, nullptr),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(size, 4u);
    // A thrown failure (scope 5) stores nothing; null pointers are simply not written.
    size = 0xDEAD;
    EXPECT_EQ(info(kAudioUnitProperty_StreamFormat, 5, 0, &size, &writable), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(size, 0xDEADu);
    EXPECT_EQ(info(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, nullptr, nullptr), noErr);
}

TEST(Elements, CreateElementsOnceAndScopeLookups) {
    CountingEffect effect(nullptr);
    effect.CreateElements();
    effect.CreateElements();
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Global).GetNumberOfElements(), 1u);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Input).GetNumberOfElements(), 1u);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Output).GetNumberOfElements(), 1u);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Group).GetNumberOfElements(), 0u);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Part).GetNumberOfElements(), 0u);
    EXPECT_NE(dynamic_cast<AUInputElement *>(effect.GetElement(kAudioUnitScope_Input, 0)), nullptr);
    EXPECT_NE(dynamic_cast<AUOutputElement *>(effect.GetElement(kAudioUnitScope_Output, 0)), nullptr);

    EXPECT_THROW(effect.GetScope(5), OSStatus);
    try {
        effect.GetElement(kAudioUnitScope_Output, 1);
        ADD_FAILURE() << "element 1 exists";
    } catch (OSStatus status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    }
    try {
        effect.GetIOElement(kAudioUnitScope_Global, 0);  // exists, but is no I/O element
        ADD_FAILURE() << "the global element is an I/O element";
    } catch (OSStatus status) {
        EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    }
    EXPECT_EQ(effect.SetBusCount(kAudioUnitScope_Group, 3), noErr);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Group).GetNumberOfElements(), 3u);
    EXPECT_EQ(effect.SetBusCount(kAudioUnitScope_Group, 1), noErr);
    EXPECT_EQ(effect.GetScope(kAudioUnitScope_Group).GetNumberOfElements(), 1u);
}

TEST(Parameters, IndexedAndMapStorage) {
    CountingEffect effect(nullptr);
    effect.PostConstructor();
    AUElement &global = *effect.Globals();
    EXPECT_EQ(global.GetParameter(TestGain::kGain), 1.0f);
    EXPECT_THROW(global.GetParameter(2), OSStatus);
    EXPECT_THROW(global.SetParameter(2, 1.0f), OSStatus);
    global.UseIndexedParameters(3);  // grows; existing values stay, new ones default to 0
    EXPECT_EQ(global.GetParameter(TestGain::kSpare), 0.25f);
    EXPECT_EQ(global.GetParameter(2), 0.0f);

    // Map mode (the output element): entries appear when set, ids listed in ascending order.
    AUElement &output = *effect.GetElement(kAudioUnitScope_Output, 0);
    EXPECT_THROW(output.GetParameter(9), OSStatus);
    output.SetParameter(9, 0.5f);
    output.SetParameter(3, 1.5f);
    EXPECT_EQ(output.GetParameter(9), 0.5f);
    AudioUnitParameterID ids[2];
    output.GetParameterList(ids);
    EXPECT_EQ(ids[0], 3u);
    EXPECT_EQ(ids[1], 9u);
    UInt32 count = 0;
    EXPECT_EQ(effect.GetParameterList(kAudioUnitScope_Output, nullptr, count), noErr);
    EXPECT_EQ(count, 2u);

    // While initialized a new map entry is silently refused, unless allowed; existing ones change.
    ASSERT_EQ(effect.DoInitialize(), noErr);
    output.SetParameter(4, 2.0f);
    EXPECT_THROW(output.GetParameter(4), OSStatus);
    output.SetParameter(4, 2.0f, true);
    EXPECT_EQ(output.GetParameter(4), 2.0f);
    output.SetParameter(9, -1.0f);
    EXPECT_EQ(output.GetParameter(9), -1.0f);
    effect.DoCleanup();
}

TEST(Parameters, GroupScopeAndUnknownIdsAreRefused) {
    CountingEffect effect(nullptr);
    effect.PostConstructor();
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(effect.GetParameter(0, kAudioUnitScope_Group, 0, value), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(effect.SetParameter(0, kAudioUnitScope_Group, 0, 1.0f, 0), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(ComponentBase::Guard([&] { return effect.GetParameter(16, kAudioUnitScope_Global, 0, value); }),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(ComponentBase::Guard([&] { return effect.GetParameter(0, kAudioUnitScope_Input, 3, value); }),
              kAudioUnitErr_InvalidElement);
}

TEST(Parameters, SetThroughTheEntryStoresAtOnceWhateverTheOffset) {
    Direct direct;
    Request<5> set(kAudioUnitSetParameterSelect);
    set.arg(0, TestGain::kGain).arg(1, kAudioUnitScope_Global).arg(2, 0).argFloat(3, 0.375f).arg(4, 300);
    EXPECT_EQ(direct.Call(set.header()), noErr);
    AudioUnitParameterValue value = 0;
    Request<4> get(kAudioUnitGetParameterSelect);
    get.arg(0, TestGain::kGain).arg(1, kAudioUnitScope_Global).arg(2, 0).argPtr(3, &value);
    EXPECT_EQ(direct.Call(get.header()), noErr);
    EXPECT_EQ(value, 0.375f);
}

TEST(Formats, ValidFormatAcceptsOnlyCanonicalFloatAtAPositiveRate) {
    CountingEffect effect(nullptr);
    auto valid = [&](const AudioStreamBasicDescription &format) {
        return effect.ValidFormat(kAudioUnitScope_Input, 0, format);
    };
    EXPECT_TRUE(valid(CanonicalFormat(1, 96000.0)));
    EXPECT_TRUE(valid(CanonicalFormat(2, 8000.0)));
    auto interleaved = CanonicalFormat(2);
    interleaved.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    EXPECT_FALSE(valid(interleaved));
    auto wide = CanonicalFormat(2);
    wide.mBitsPerChannel = 64;
    wide.mBytesPerFrame = wide.mBytesPerPacket = 8;
    EXPECT_FALSE(valid(wide));
    auto twoFrames = CanonicalFormat(2);
    twoFrames.mFramesPerPacket = 2;
    EXPECT_FALSE(valid(twoFrames));
    auto bigEndian = CanonicalFormat(2);
    bigEndian.mFormatFlags |= kAudioFormatFlagIsBigEndian;
    EXPECT_FALSE(valid(bigEndian));
    auto integer = CanonicalFormat(2);
    integer.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved;
    EXPECT_FALSE(valid(integer));
    for (Float64 rate : {0.0, -44100.0, std::nan(""), HUGE_VAL}) EXPECT_FALSE(valid(CanonicalFormat(2, rate))) << rate;
}

TEST(HostApi, OpensDescribesInitializesAndRefusesUnsupportedChannelCounts) {
    AudioComponentDescription wanted{kAudioUnitType_Effect, 0x66777467 /* fwtg */, 0x54657374 /* Test */, 0, 0};
    const AudioComponent component = TestComponent();
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(AudioComponentFindNext(nullptr, &wanted), component);
    AudioComponentDescription described{};
    EXPECT_EQ(AudioComponentGetDescription(component, &described), noErr);
    EXPECT_EQ(described.componentSubType, wanted.componentSubType);
    Unit unit;
    ASSERT_NE(static_cast<AudioUnit>(unit), nullptr);

    Request<0> version(kComponentVersionSelect);
    EXPECT_EQ(CallComponentDispatch(unit, version.header()), 0x00020003);
    Request<5> unknown(11);
    EXPECT_EQ(CallComponentDispatch(unit, unknown.header()), badComponentSelector);

    AudioUnitParameterInfo info{};
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, TestGain::kGain, info), noErr);
    EXPECT_STREQ(info.name, "Gain");
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 7, info), kAudioUnitErr_InvalidParameter);

    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitSetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, 0.5f, 17), noErr);
    EXPECT_EQ(AudioUnitGetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 0.5f);
    EXPECT_EQ(AudioUnitGetParameter(unit, 2, kAudioUnitScope_Global, 0, &value), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, 5, 0, &value), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, kAudioUnitScope_Output, 1, &value), kAudioUnitErr_InvalidElement);

    ASSERT_EQ(SetChannels(unit, 2, 1), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), kAudioUnitErr_FormatNotSupported);
    ASSERT_EQ(SetChannels(unit, 1, 1), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
    ASSERT_EQ(SetChannels(unit, 2, 2), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
}

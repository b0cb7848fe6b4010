// The property table's structure: a subclass's rows come before the framework's and answer only
// their own scopes, rows of every class in the chain are found, a property that no table holds
// is refused as it always was, and the well-formedness check refuses what it should.
#include "framework/AUPropertyTable.h"
#include "tests/framework/TestGain.h"

#include <gtest/gtest.h>

namespace {

// Rows that break the rules: the check must not be one that every table passes.
constexpr AUPropertyRow kTwiceTheSameId[] = {{.id = 5000}, {.id = 5000}};
constexpr AUPropertyRow kGetWithoutScopes[] = {{.id = 5000, .scopes = AUScopes::kNone, .get = AUGetValue<&AUBase::GetLatency>}};
constexpr AUPropertyRow kAnnouncedWithoutFunction[] = {{.id = 5000, .notify = AUNotify::kOnSet}};
AU_CHECK_PROPERTY_TABLE(!AUPropertyTableIsWellFormed(kTwiceTheSameId));
AU_CHECK_PROPERTY_TABLE(!AUPropertyTableIsWellFormed(kGetWithoutScopes));
AU_CHECK_PROPERTY_TABLE(!AUPropertyTableIsWellFormed(kAnnouncedWithoutFunction));

// The test component with the framework's Latency overridden in the global scope: a writable
// 32-bit frame count, with no element check.
class OverridingGain : public TestGain {
public:
    OverridingGain() : TestGain(nullptr) { PostConstructor(); }
    const AUPropertyRow *FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) override {
        const AUPropertyRow *row = AUFindPropertyRow(kRows, id, scope);
        return row != nullptr ? row : TestGain::FindOwnProperty(id, scope);
    }
    UInt32 LatencyFrames() const { return latencyFrames_; }

private:
    static OSStatus SetLatencyFrames(AUBase &unit, AUPropertyAddress, const void *data, UInt32) {
        std::memcpy(&static_cast<OverridingGain &>(unit).latencyFrames_, data, sizeof(UInt32));
        return noErr;
    }
    static constexpr AUPropertyRow kRows[] = {
        {.id = kAudioUnitProperty_Latency, .size = sizeof(UInt32), .writable = true,
         .get = AUGetValue<&OverridingGain::LatencyFrames>, .setSize = Exactly(sizeof(UInt32)),
         .set = SetLatencyFrames, .notify = AUNotify::kOnSet},
    };
    UInt32 latencyFrames_ = 7;
};

constexpr AudioUnitPropertyID kInNoTable = 4321;

int announcements = 0;
void Count(void *, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { ++announcements; }

}  // namespace

TEST(PropertyTable, InfoComesFromTheFirstRowThatAnswersTheScope) {
    OverridingGain unit;
    struct Case {
        const char *what;
        AudioUnitPropertyID id;
        AudioUnitScope scope;
        AudioUnitElement element;
        OSStatus status;
        UInt32 size;
        bool writable;
    };
    const Case cases[] = {
        {"the override", kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, noErr, 4, true},
        {"the override, no element check", kAudioUnitProperty_Latency, kAudioUnitScope_Global, 3, noErr, 4, true},
        {"another scope: the framework's row", kAudioUnitProperty_Latency, kAudioUnitScope_Input, 0,
         kAudioUnitErr_InvalidScope, 0, false},
        {"the test component's row", TestGain::kRecordProperty, kAudioUnitScope_Global, 0, noErr,
         sizeof(TestGainRecord), false},
        {"the test component's row, another scope", TestGain::kRecordProperty, kAudioUnitScope_Output, 0,
         kAudioUnitErr_InvalidProperty, 0, false},
        {"the effect base's row", kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, noErr, 4, true},
        {"in no table", kInNoTable, kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidProperty, 0, false},
    };
    for (const Case &c : cases) {
        UInt32 size = 0;
        Boolean writable = true;
        EXPECT_EQ(unit.DispatchGetPropertyInfo(c.id, c.scope, c.element, size, writable), c.status) << c.what;
        EXPECT_EQ(size, c.size) << c.what;
        EXPECT_EQ(bool(writable), c.writable) << c.what;
    }
}

TEST(PropertyTable, GetSetAndRemoveFollowTheSameRows) {
    OverridingGain unit;
    announcements = 0;
    ASSERT_EQ(unit.AddPropertyListener(kAudioUnitProperty_Latency, Count, nullptr), noErr);
    ASSERT_EQ(unit.AddPropertyListener(kInNoTable, Count, nullptr), noErr);
    const UInt32 frames = 64;
    UInt32 got = 0;
    EXPECT_EQ(unit.DispatchSetProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &frames, 4), noErr);
    EXPECT_EQ(unit.DispatchGetProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &got), noErr);
    EXPECT_EQ(got, 64u);
    EXPECT_EQ(announcements, 1);
    // The row's size check comes first; in another scope the framework's row has no set.
    EXPECT_EQ(unit.DispatchSetProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &frames, 2),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit.DispatchSetProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Input, 0, &frames, 4),
              kAudioUnitErr_InvalidProperty);
    // A property in no table: refused by the virtual operations, and nothing is announced.
    EXPECT_EQ(unit.DispatchGetProperty(kInNoTable, kAudioUnitScope_Global, 0, &got), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit.DispatchSetProperty(kInNoTable, kAudioUnitScope_Global, 0, &frames, 4), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit.DispatchRemovePropertyValue(kInNoTable, kAudioUnitScope_Global, 0), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(announcements, 1);
    unit.PreDestructor();
}

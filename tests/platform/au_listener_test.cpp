// The event-listener service on one thread, as an offline host uses it: set, then run the run
// loop with a zero timeout until it is dry, then look at what the listeners received.
#include "au_test_support.h"

#include <cmath>

using namespace au_test;

namespace {

constexpr AudioUnitPropertyID kBlob = au_fixture::kBlobProperty;

int unit_listener_count(AudioUnit unit) { return fixture_call(unit, au_fixture::kSelectListenerCount); }

void set_blob(AudioUnit unit, uint64_t value, AudioUnitScope scope = 0) {
    ASSERT_EQ(AudioUnitSetProperty(unit, kBlob, scope, 0, &value, sizeof value), noErr);
}

}  // namespace

TEST(AuListener, ParameterSetStoresTheValueAndReachesEveryListenerButTheSender) {
    FixtureUnit unit;
    Recorder editor, effect;
    AUEventListenerRef editor_listener = make_listener(editor), effect_listener = make_listener(effect);
    int editor_object = 0, effect_object = 0;
    AudioUnitEvent p3 = parameter_event(unit, 3);
    ASSERT_EQ(AUEventListenerAddEventType(editor_listener, &editor_object, &p3), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(effect_listener, &effect_object, &p3), noErr);

    ASSERT_EQ(set_parameter(editor_listener, unit, 3, 0.25f), noErr);
    AudioUnitParameterValue stored = 0;
    ASSERT_EQ(AudioUnitGetParameter(unit, 3, 0, 0, &stored), noErr);
    EXPECT_EQ(stored, 0.25f);
    EXPECT_EQ(effect.count(), 0u) << "delivered before the run loop ran";
    EXPECT_GE(run_pending(), 1);
    EXPECT_EQ(editor.count(), 0u);
    auto got = effect.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].object, &effect_object);
    EXPECT_EQ(got[0].type, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(got[0].id, 3u);
    EXPECT_EQ(got[0].value, 0.25f);

    // Without a sender everybody hears it; other parameters reach nobody.
    ASSERT_EQ(set_parameter(nullptr, unit, 3, 0.5f), noErr);
    ASSERT_EQ(set_parameter(nullptr, unit, 4, 0.5f), noErr);
    run_pending();
    EXPECT_EQ(editor.take().size(), 1u);
    EXPECT_EQ(effect.take().size(), 1u);
    AUListenerDispose(editor_listener);
    AUListenerDispose(effect_listener);
}

TEST(AuListener, NotifyDeliversTheCurrentValueWhileAPlainSetReachesNobody) {
    FixtureUnit unit;
    Recorder recorder, sender_recorder;
    AUEventListenerRef listener = make_listener(recorder), sender = make_listener(sender_recorder);
    AudioUnitEvent p1 = parameter_event(unit, 1);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p1), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(sender, nullptr, &p1), noErr);

    ASSERT_EQ(AudioUnitSetParameter(unit, 1, 0, 0, 0.7f, 0), noErr);
    EXPECT_EQ(run_pending(), 0);
    EXPECT_EQ(recorder.count(), 0u);

    ASSERT_EQ(AUEventListenerNotify(sender, nullptr, &p1), noErr);
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, 0.7f);
    EXPECT_EQ(sender_recorder.count(), 0u);

    AudioUnitParameter parameter{unit, 1, 0, 0};
    ASSERT_EQ(AudioUnitSetParameter(unit, 1, 0, 0, -2.0f, 0), noErr);
    ASSERT_EQ(AUParameterListenerNotify(nullptr, nullptr, &parameter), noErr);
    run_pending();
    EXPECT_EQ(recorder.take().at(0).value, -2.0f);
    EXPECT_EQ(sender_recorder.take().size(), 1u);
    AUListenerDispose(listener);
    AUListenerDispose(sender);
}

TEST(AuListener, ChangesBetweenTwoRunsCollapseToTheLatestValueInFirstArrivalOrder) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    for (AudioUnitParameterID id : {1u, 2u, 5u}) {
        AudioUnitEvent event = parameter_event(unit, id);
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    }
    const std::pair<AudioUnitParameterID, float> sets[] = {{2, 0.1f}, {5, 0.2f}, {2, 0.3f}, {5, 0.4f}, {1, 0.5f}, {2, 0.6f}};
    for (auto [id, value] : sets) ASSERT_EQ(set_parameter(nullptr, unit, id, value), noErr);
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].id, 2u);
    EXPECT_EQ(got[0].value, 0.6f);
    EXPECT_EQ(got[1].id, 5u);
    EXPECT_EQ(got[1].value, 0.4f);
    EXPECT_EQ(got[2].id, 1u);
    EXPECT_EQ(got[2].value, 0.5f);
    // After a delivery, the next change is a new entry again.
    ASSERT_EQ(set_parameter(nullptr, unit, 2, 0.7f), noErr);
    run_pending();
    EXPECT_EQ(recorder.take().size(), 1u);
    AUListenerDispose(listener);
}

TEST(AuListener, APropertyAnnouncedByTheUnitArrivesOnceForItsScopeAndElement) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    int object = 0;
    AudioUnitEvent blob = property_event(unit, kBlob);
    ASSERT_EQ(AUEventListenerAddEventType(listener, &object, &blob), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, &object, &blob), noErr);  // once is enough
    EXPECT_EQ(unit_listener_count(unit), 1);

    set_blob(unit, 1);
    set_blob(unit, 2);   // collapses with the first
    set_blob(unit, 3, 1);  // input scope: not registered
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kAudioUnitEvent_PropertyChange);
    EXPECT_EQ(got[0].object, &object);
    EXPECT_EQ(got[0].id, kBlob);
    EXPECT_EQ(got[0].scope, 0u);

    // A host may announce a property itself; the sender is skipped as for parameters.
    ASSERT_EQ(AUEventListenerNotify(listener, nullptr, &blob), noErr);
    run_pending();
    EXPECT_EQ(recorder.count(), 0u);
    ASSERT_EQ(AUEventListenerNotify(nullptr, nullptr, &blob), noErr);
    run_pending();
    EXPECT_EQ(recorder.take().size(), 1u);

    ASSERT_EQ(AUEventListenerRemoveEventType(listener, &object, &blob), noErr);
    EXPECT_EQ(unit_listener_count(unit), 0);
    set_blob(unit, 4);
    run_pending();
    EXPECT_EQ(recorder.count(), 0u);
    AUListenerDispose(listener);
}

TEST(AuListener, GesturesAreDeliveredToListenersOfTheGesture) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent begin = parameter_event(unit, 0, kAudioUnitEvent_BeginParameterChangeGesture);
    AudioUnitEvent end = parameter_event(unit, 0, kAudioUnitEvent_EndParameterChangeGesture);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &begin), noErr);
    ASSERT_EQ(AUEventListenerNotify(nullptr, nullptr, &begin), noErr);
    ASSERT_EQ(AUEventListenerNotify(nullptr, nullptr, &end), noErr);  // nobody listens for it
    ASSERT_EQ(set_parameter(nullptr, unit, 0, 1.0f), noErr);           // nor for the value
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kAudioUnitEvent_BeginParameterChangeGesture);
    AUListenerDispose(listener);
}

TEST(AuListener, RemovingAnEventTypeDropsWhatIsQueuedForIt) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent p2 = parameter_event(unit, 2), p3 = parameter_event(unit, 3);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p2), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p3), noErr);
    ASSERT_EQ(set_parameter(nullptr, unit, 2, 0.1f), noErr);
    ASSERT_EQ(set_parameter(nullptr, unit, 3, 0.2f), noErr);
    ASSERT_EQ(AUEventListenerRemoveEventType(listener, nullptr, &p2), noErr);
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id, 3u);
    AUListenerDispose(listener);
}

TEST(AuListener, DisposeWithEventsStillQueuedCallsNothing) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent p0 = parameter_event(unit, 0), blob = property_event(unit, kBlob);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p0), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &blob), noErr);
    ASSERT_EQ(set_parameter(nullptr, unit, 0, 0.5f), noErr);
    set_blob(unit, 9);
    ASSERT_EQ(AUListenerDispose(listener), noErr);
    EXPECT_EQ(unit_listener_count(unit), 0) << "the unit still holds the listener's property registration";
    run_pending();
    EXPECT_EQ(recorder.count(), 0u);
    // Later changes of the unit reach nothing either.
    ASSERT_EQ(set_parameter(nullptr, unit, 0, 0.6f), noErr);
    set_blob(unit, 10);
    run_pending();
    EXPECT_EQ(recorder.count(), 0u);
}

namespace {

struct SelfDisposer {
    AUEventListenerRef listener = nullptr;
    int calls = 0;
    static void callback(void *refcon, void *, const AudioUnitEvent *, UInt64, AudioUnitParameterValue) {
        auto *self = static_cast<SelfDisposer *>(refcon);
        ++self->calls;
        EXPECT_EQ(AUListenerDispose(self->listener), noErr);
    }
};

}  // namespace

TEST(AuListener, DisposeFromInsideTheCallbackStopsTheRestOfTheBatch) {
    FixtureUnit unit;
    SelfDisposer disposer;
    ASSERT_EQ(AUEventListenerCreate(SelfDisposer::callback, &disposer, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode,
                                    0.005f, 0.05f, &disposer.listener),
              noErr);
    for (AudioUnitParameterID id : {0u, 1u, 2u}) {
        AudioUnitEvent event = parameter_event(unit, id);
        ASSERT_EQ(AUEventListenerAddEventType(disposer.listener, nullptr, &event), noErr);
        ASSERT_EQ(set_parameter(nullptr, unit, id, 1.0f), noErr);
    }
    AudioUnitEvent blob = property_event(unit, kBlob);
    ASSERT_EQ(AUEventListenerAddEventType(disposer.listener, nullptr, &blob), noErr);
    set_blob(unit, 5);
    run_pending();
    EXPECT_EQ(disposer.calls, 1);
    EXPECT_EQ(unit_listener_count(unit), 0);
    ASSERT_EQ(set_parameter(nullptr, unit, 0, 2.0f), noErr);
    run_pending();
    EXPECT_EQ(disposer.calls, 1);
}

TEST(AuListener, AUnitDisposedFirstIsForgottenByItsListeners) {
    auto unit = std::make_unique<FixtureUnit>();
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent p0 = parameter_event(*unit, 0), blob = property_event(*unit, kBlob);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p0), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &blob), noErr);
    ASSERT_EQ(set_parameter(nullptr, *unit, 0, 0.5f), noErr);
    unit.reset();
    // Nothing queued for the dead unit is delivered, and disposing the listener does not call
    // into it (the sanitizer build would report the use of the freed instance).
    run_pending();
    EXPECT_EQ(recorder.count(), 0u);
    EXPECT_EQ(AUListenerDispose(listener), noErr);
}

TEST(AuListener, RefusesBadArguments) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = nullptr;
    EXPECT_EQ(AUEventListenerCreate(nullptr, &recorder, nullptr, nullptr, 0, 0, &listener), paramErr);
    EXPECT_EQ(AUEventListenerCreate(Recorder::callback, &recorder, nullptr, nullptr, -1.0f, 0, &listener), paramErr);
    EXPECT_EQ(AUEventListenerCreate(Recorder::callback, &recorder, nullptr, nullptr, 0, std::nanf(""), &listener),
              paramErr);
    EXPECT_EQ(listener, nullptr);
    EXPECT_EQ(AUEventListenerCreate(Recorder::callback, &recorder, nullptr, nullptr, 0, 0, nullptr), paramErr);

    // A NULL run loop and mode mean this thread's run loop in the default mode.
    ASSERT_EQ(AUEventListenerCreate(Recorder::callback, &recorder, nullptr, nullptr, 0, 0, &listener), noErr);
    AudioUnitEvent p0 = parameter_event(unit, 0), no_unit = parameter_event(nullptr, 0);
    AudioUnitEvent bad_type = p0;
    bad_type.mEventType = 7;
    EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, nullptr), paramErr);
    EXPECT_EQ(AUEventListenerAddEventType(nullptr, nullptr, &p0), paramErr);
    EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &no_unit), paramErr);
    EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &bad_type), paramErr);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &bad_type), paramErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p0), noErr);

    // What the unit refuses reaches nobody, and its status comes back.
    AudioUnitEvent bad_parameter = parameter_event(unit, au_fixture::kParameterCount);
    EXPECT_EQ(set_parameter(nullptr, unit, au_fixture::kParameterCount, 1.0f), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &bad_parameter), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AUParameterSet(nullptr, nullptr, nullptr, 0, 0), paramErr);
    AudioUnitEvent unknown_property = property_event(unit, 12345);
    // The fixture accepts listeners for any property; a unit that refuses answers its status.
    EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &unknown_property), noErr);
    set_parameter(nullptr, unit, 0, 0.25f);
    run_pending();
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, 0.25f);
    EXPECT_EQ(AUListenerDispose(listener), noErr);
    EXPECT_EQ(AUListenerDispose(nullptr), paramErr);
}

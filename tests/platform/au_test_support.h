// Helpers shared by the au_* tests: the fixture component, its last request, scratch bundles.
#pragma once

#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>

#include "fixtures/au_fixture.h"
#include "platform/component_request.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace au_test {

inline std::string fixture_bundle_path() { return std::string(PLATFORM_FIXTURE_DIR) + "/AuFixture.component"; }

inline std::string fixture_object_path() { return fixture_bundle_path() + "/Contents/x86_64-linux/AuFixture.so"; }

inline AudioComponent fixture_component(OSType subtype = au_fixture::kSubType) {
    AudioComponent first = nullptr;
    EXPECT_EQ(AudioComponentRegisterBundle(fixture_bundle_path().c_str(), &first), noErr);
    AudioComponentDescription want{au_fixture::kType, subtype, au_fixture::kManufacturer, 0, 0};
    return AudioComponentFindNext(nullptr, &want);
}

// One open instance of the fixture for the length of a test.
class FixtureUnit {
public:
    FixtureUnit() {
        AudioComponent component = fixture_component();
        EXPECT_NE(component, nullptr);
        EXPECT_EQ(AudioComponentInstanceNew(component, &unit_), noErr);
    }
    ~FixtureUnit() {
        if (unit_) AudioComponentInstanceDispose(unit_);
    }
    FixtureUnit(const FixtureUnit &) = delete;
    FixtureUnit &operator=(const FixtureUnit &) = delete;
    AudioUnit get() const { return unit_; }
    operator AudioUnit() const { return unit_; }
    // Disposes now (a test of what happens afterwards).
    void dispose() {
        AudioComponentInstanceDispose(unit_);
        unit_ = nullptr;
    }

private:
    AudioUnit unit_ = nullptr;
};

// Sends a private fixture selector with up to three 32-bit arguments or one pointer.
inline OSStatus fixture_call(AudioUnit unit, SInt16 selector, uintptr_t a = 0, uintptr_t b = 0, uintptr_t c = 0) {
    platform::RequestBlock<4> block(selector);
    block.set(0, platform::encode_ptr(unit));
    block.set(1, a);
    block.set(2, b);
    block.set(3, c);
    return CallComponentDispatch(unit, block.get());
}

inline au_fixture::Request last_request(AudioUnit unit) {
    au_fixture::Request request;
    EXPECT_EQ(fixture_call(unit, au_fixture::kSelectCopyLastRequest, reinterpret_cast<uintptr_t>(&request)), noErr);
    return request;
}

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "au-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
        EXPECT_FALSE(path_.empty());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline void write_file(const std::string &path, const std::string &contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace au_test

namespace au_test {

// What a listener callback saw, one entry per call.
struct Delivery {
    void *object;
    AudioUnitEventType type;
    UInt32 id;  // parameter or property id
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterValue value;
    std::thread::id thread;
};

// Collects deliveries; the listener's refcon. Callbacks may run on another thread than the test.
struct Recorder {
    std::mutex mutex;
    std::vector<Delivery> deliveries;

    static void callback(void *refcon, void *object, const AudioUnitEvent *event, UInt64, AudioUnitParameterValue value) {
        auto *self = static_cast<Recorder *>(refcon);
        const bool property = event->mEventType == kAudioUnitEvent_PropertyChange;
        Delivery d{object,
                   event->mEventType,
                   property ? event->mArgument.mProperty.mPropertyID : event->mArgument.mParameter.mParameterID,
                   property ? event->mArgument.mProperty.mScope : event->mArgument.mParameter.mScope,
                   property ? event->mArgument.mProperty.mElement : event->mArgument.mParameter.mElement,
                   value,
                   std::this_thread::get_id()};
        std::lock_guard<std::mutex> lock(self->mutex);
        self->deliveries.push_back(d);
    }
    std::vector<Delivery> take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(deliveries, {});
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return deliveries.size();
    }
};

inline AudioUnitEvent parameter_event(AudioUnit unit, AudioUnitParameterID id,
                                      AudioUnitEventType type = kAudioUnitEvent_ParameterValueChange) {
    AudioUnitEvent event{};
    event.mEventType = type;
    event.mArgument.mParameter = {unit, id, 0, 0};
    return event;
}

inline AudioUnitEvent property_event(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope = 0,
                                     AudioUnitElement element = 0) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_PropertyChange;
    event.mArgument.mProperty = {unit, id, scope, element};
    return event;
}

inline AUEventListenerRef make_listener(Recorder &recorder, CFRunLoopRef run_loop = nullptr) {
    AUEventListenerRef listener = nullptr;
    EXPECT_EQ(AUEventListenerCreate(Recorder::callback, &recorder, run_loop ? run_loop : CFRunLoopGetCurrent(),
                                    kCFRunLoopDefaultMode, 0.005f, 0.05f, &listener),
              noErr);
    return listener;
}

// Runs this thread's run loop without waiting, as an offline host does before it renders, until
// nothing is left (timed out, or finished when no source is left at all); answers the number of
// runs that handled a source.
inline int run_pending() {
    int handled = 0;
    for (int i = 0; i < 1000; ++i) {
        if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) != kCFRunLoopRunHandledSource) return handled;
        ++handled;
    }
    ADD_FAILURE() << "the run loop never ran dry";
    return handled;
}

inline OSStatus set_parameter(AUEventListenerRef sender, AudioUnit unit, AudioUnitParameterID id, float value) {
    AudioUnitParameter parameter{unit, id, 0, 0};
    return AUParameterSet(sender, nullptr, &parameter, value, 0);
}

}  // namespace au_test

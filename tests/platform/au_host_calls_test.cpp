// Host calls as the component receives them: the request block of every call (selector, slot
// order, low-half values, float bits, whole pointers, paramSize), instance lifecycle and storage.
#include "au_test_support.h"

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

using namespace au_test;

namespace {

std::atomic<long> allocations{0};

uintptr_t p(const void *pointer) { return reinterpret_cast<uintptr_t>(pointer); }
template <typename R, typename... A>
uintptr_t f(R (*function)(A...)) {
    return reinterpret_cast<uintptr_t>(function);
}
uintptr_t float_bits(float value) {
    UInt32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void some_listener(void *, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}
OSStatus some_render_notify(void *, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32,
                            AudioBufferList *) {
    return noErr;
}

// Reads the fixture's Close counter from the copy of it the registry loaded.
int close_count() {
    EXPECT_NE(fixture_component(), nullptr);
    void *handle = dlopen(fixture_object_path().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        ADD_FAILURE() << "the fixture is not loaded: " << dlerror();
        return -1;
    }
    auto count = reinterpret_cast<int (*)()>(dlsym(handle, "AuFixtureCloseCount"));
    EXPECT_NE(count, nullptr);
    const int result = count ? count() : -1;
    dlclose(handle);
    return result;
}

}  // namespace

// Counts heap allocations of the whole test binary; only the render test reads it. Every
// non-aligned form is replaced, so that memory from these never meets a sanitizer's own delete.
namespace {
void *counted_malloc(size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
}  // namespace
void *operator new(size_t size) {
    if (void *memory = counted_malloc(size)) return memory;
    throw std::bad_alloc();
}
void *operator new[](size_t size) {
    if (void *memory = counted_malloc(size)) return memory;
    throw std::bad_alloc();
}
void *operator new(size_t size, const std::nothrow_t &) noexcept { return counted_malloc(size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return counted_malloc(size); }
// GCC cannot see that the operators above allocate with malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete[](void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, size_t) noexcept { std::free(memory); }
void operator delete[](void *memory, size_t) noexcept { std::free(memory); }
void operator delete(void *memory, const std::nothrow_t &) noexcept { std::free(memory); }
void operator delete[](void *memory, const std::nothrow_t &) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

TEST(AuInstance, OpenCarriesTheNewHandleInSlotZeroWithNoStorageYet) {
    FixtureUnit unit;
    ASSERT_NE(unit.get(), nullptr);
    const au_fixture::Request open = last_request(unit);
    EXPECT_EQ(open.what, kComponentOpenSelect);
    EXPECT_EQ(open.param_size, 8);
    EXPECT_EQ(open.slots[0], p(unit.get()));
    EXPECT_EQ(open.storage, nullptr);
    // The storage the component set during Open comes back with every later request.
    EXPECT_NE(GetComponentInstanceStorage(unit), nullptr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(last_request(unit).storage, GetComponentInstanceStorage(unit));
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit), fixture_component());
}

TEST(AuInstance, AFailedOpenAnswersItsStatusAndNoInstance) {
    AudioComponent failing = fixture_component(au_fixture::kFailingSubType);
    ASSERT_NE(failing, nullptr);
    AudioComponentInstance instance = reinterpret_cast<AudioComponentInstance>(&failing);
    EXPECT_EQ(AudioComponentInstanceNew(failing, &instance), au_fixture::kOpenFailure);
    EXPECT_EQ(instance, nullptr);  // and the record is freed: the leak checker of the sanitizer build sees to it
    EXPECT_EQ(AudioComponentInstanceNew(nullptr, &instance), paramErr);
    EXPECT_EQ(AudioComponentInstanceNew(failing, nullptr), paramErr);
}

TEST(AuInstance, DisposeSendsCloseToTheComponent) {
    const int before = close_count();
    {
        FixtureUnit unit;
        ASSERT_NE(unit.get(), nullptr);
    }
    EXPECT_EQ(close_count(), before + 1);
    EXPECT_EQ(AudioComponentInstanceDispose(nullptr), badComponentInstance);
}

TEST(AuInstance, CanDoSendsTheSelectorSignExtendedInSlotZero) {
    FixtureUnit unit;
    EXPECT_TRUE(AudioComponentInstanceCanDo(unit, kComponentCloseSelect));
    au_fixture::Request can_do = last_request(unit);
    EXPECT_EQ(can_do.what, kComponentCanDoSelect);
    EXPECT_EQ(can_do.slots[0], static_cast<uintptr_t>(-2));
    EXPECT_TRUE(AudioComponentInstanceCanDo(unit, kAudioUnitRenderSelect));
    EXPECT_FALSE(AudioComponentInstanceCanDo(unit, kAudioUnitRemovePropertyListenerSelect));
    EXPECT_EQ(last_request(unit).slots[0], 11u);
    EXPECT_FALSE(AudioComponentInstanceCanDo(nullptr, 1));
}

TEST(AuInstance, CallComponentDispatchPassesTheBlockAndStorageThrough) {
    FixtureUnit unit;
    ComponentParameters version{};
    version.what = kComponentVersionSelect;
    EXPECT_EQ(CallComponentDispatch(unit, &version), static_cast<OSStatus>(au_fixture::kVersion));
    ComponentParameters unknown{};
    unknown.what = 12;
    EXPECT_EQ(CallComponentDispatch(unit, &unknown), badComponentSelector);
    EXPECT_EQ(last_request(unit).what, 12);
    EXPECT_EQ(CallComponentDispatch(unit, nullptr), paramErr);
    EXPECT_EQ(CallComponentDispatch(nullptr, &unknown), badComponentInstance);
}

// Every host call, and the block the component must see for it. Values are chosen so that a
// wrong slot, a sign extension, a lost high half of a pointer or a float converted to an integer
// all show.
TEST(AuHostCalls, EveryCallPacksItsArgumentsInSlotOrder) {
    FixtureUnit unit;
    const uintptr_t u = p(unit.get());
    UInt32 size = 0;
    Boolean writable = 0;
    uint64_t blob = 0x0102030405060708ull;
    AudioUnitParameterValue value = 0;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList buffers{};
    AudioUnitParameterEvent events[2] = {};

    struct Case {
        const char *name;
        std::function<OSStatus()> call;
        SInt16 what;
        std::vector<uintptr_t> slots;
    };
    const std::vector<Case> cases = {
        {"Initialize", [&] { return AudioUnitInitialize(unit); }, 1, {u}},
        {"Uninitialize", [&] { return AudioUnitUninitialize(unit); }, 2, {u}},
        {"GetPropertyInfo",
         [&] { return AudioUnitGetPropertyInfo(unit, au_fixture::kBlobProperty, 2, 0xFFFFFFFFu, &size, &writable); }, 3,
         {u, au_fixture::kBlobProperty, 2, 0xFFFFFFFFu, p(&size), p(&writable)}},
        {"GetProperty", [&] { return AudioUnitGetProperty(unit, au_fixture::kBlobProperty, 1, 7, &blob, &size); }, 4,
         {u, au_fixture::kBlobProperty, 1, 7, p(&blob), p(&size)}},
        {"SetProperty",
         [&] { return AudioUnitSetProperty(unit, au_fixture::kBlobProperty, 0, 3, &blob, sizeof blob); }, 5,
         {u, au_fixture::kBlobProperty, 0, 3, p(&blob), 8}},
        {"GetParameter", [&] { return AudioUnitGetParameter(unit, 5, 0, 0, &value); }, 6, {u, 5, 0, 0, p(&value)}},
        {"SetParameter", [&] { return AudioUnitSetParameter(unit, 6, 0, 0, -0.3f, 0x80000001u); }, 7,
         {u, 6, 0, 0, float_bits(-0.3f), 0x80000001u}},
        {"Reset", [&] { return AudioUnitReset(unit, 4, 0xFFFFFFFEu); }, 9, {u, 4, 0xFFFFFFFEu}},
        {"AddPropertyListener", [&] { return AudioUnitAddPropertyListener(unit, 80110, some_listener, &blob); }, 10,
         {u, 80110, f(some_listener), p(&blob)}},
        {"Render", [&] { return AudioUnitRender(unit, &flags, &stamp, 3, 1157, &buffers); }, 14,
         {u, p(&flags), p(&stamp), 3, 1157, p(&buffers)}},
        {"AddRenderNotify", [&] { return AudioUnitAddRenderNotify(unit, some_render_notify, &flags); }, 15,
         {u, f(some_render_notify), p(&flags)}},
        {"RemoveRenderNotify", [&] { return AudioUnitRemoveRenderNotify(unit, some_render_notify, &flags); }, 16,
         {u, f(some_render_notify), p(&flags)}},
        {"ScheduleParameters", [&] { return AudioUnitScheduleParameters(unit, events, 2); }, 17, {u, p(events), 2}},
        {"RemovePropertyListenerWithUserData",
         [&] { return AudioUnitRemovePropertyListenerWithUserData(unit, 80110, some_listener, &blob); }, 18,
         {u, 80110, f(some_listener), p(&blob)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.call();
        const au_fixture::Request r = last_request(unit);
        EXPECT_EQ(r.what, c.what);
        EXPECT_EQ(r.param_size, c.slots.size() * 8);
        ASSERT_EQ(r.slot_count, static_cast<int>(c.slots.size()));
        for (size_t i = 0; i < c.slots.size(); ++i) EXPECT_EQ(r.slots[i], c.slots[i]) << "slot " << i;
        EXPECT_EQ(r.storage, GetComponentInstanceStorage(unit));
    }
}

// The slot encodings reach the component's values intact: a float stored through SetParameter
// reads back bit for bit, including a negative zero and a denormal.
TEST(AuHostCalls, ValuesSurviveTheTripThroughTheComponent) {
    FixtureUnit unit;
    for (float sent : {-0.3f, -0.0f, 1e-40f, 3.4e38f}) {
        ASSERT_EQ(AudioUnitSetParameter(unit, 2, 0, 0, sent, 0), noErr);
        AudioUnitParameterValue got = 1;
        ASSERT_EQ(AudioUnitGetParameter(unit, 2, 0, 0, &got), noErr);
        EXPECT_EQ(float_bits(got), float_bits(sent));
    }
    // The component's own answers come back unchanged.
    EXPECT_EQ(AudioUnitSetParameter(unit, au_fixture::kParameterCount, 0, 0, 1, 0), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, 5, 0, nullptr), kAudioUnitErr_InvalidScope);
    UInt32 size = 1;
    EXPECT_EQ(AudioUnitGetProperty(unit, 1234, 0, 0, nullptr, &size), kAudioUnitErr_InvalidProperty);
}

TEST(AuHostCalls, ANullUnitIsRefusedWithoutACall) {
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitInitialize(nullptr), badComponentInstance);
    EXPECT_EQ(AudioUnitGetParameter(nullptr, 0, 0, 0, &value), badComponentInstance);
    EXPECT_EQ(AudioUnitRender(nullptr, nullptr, nullptr, 0, 0, nullptr), badComponentInstance);
}

TEST(AuHostCalls, RenderAllocatesNothing) {
    FixtureUnit unit;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList buffers{};
    ASSERT_EQ(AudioUnitRender(unit, &flags, &stamp, 0, 512, &buffers), noErr);
    const long before = allocations.load();
    for (int i = 0; i < 1000; ++i) {
        stamp.mSampleTime = 512.0 * i;
        AudioUnitRender(unit, &flags, &stamp, 0, 512, &buffers);
    }
    EXPECT_EQ(allocations.load(), before);
}

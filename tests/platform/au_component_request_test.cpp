// The component's reading of a request against the platform's packing of it: every host call's
// arguments, as the fixture component received them, decode back to what the host passed.
#include "au_test_support.h"

#include "platform/component_request.h"

#include <functional>
#include <string>
#include <vector>

using namespace au_test;

namespace {

// One argument as the host passed it, and how the component reads it back.
struct Arg {
    enum Kind { number, real, pointer } kind;
    UInt32 u32 = 0;
    Float32 f32 = 0;
    const void *ptr = nullptr;
};
Arg N(UInt32 v) { return {Arg::number, v}; }
Arg F(Float32 v) { return {Arg::real, 0, v}; }
Arg P(const void *v) { return {Arg::pointer, 0, 0, v}; }
template <typename R, typename... A> Arg P(R (*function)(A...)) { return P(reinterpret_cast<const void *>(function)); }

void listener(void *, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}
OSStatus notify(void *, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32, AudioBufferList *) {
    return noErr;
}

}  // namespace

// Values chosen so that a slot off by one, a sign extension, a lost pointer half or a float read
// as an integer all show.
TEST(ComponentRequest, DecodesEverySelectorsArgumentsAsTheHostPackedThem) {
    FixtureUnit unit;
    UInt32 size = 0;
    Boolean writable = 0;
    uint64_t blob = 0;
    AudioUnitParameterValue value = 0;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList buffers{};
    AudioUnitParameterEvent events[2] = {};
    const UInt32 blob_id = au_fixture::kBlobProperty;

    const struct {
        const char *name;
        std::function<OSStatus()> call;
        std::vector<Arg> args;
    } cases[] = {
        {"GetPropertyInfo", [&] { return AudioUnitGetPropertyInfo(unit, blob_id, 2, 0xFFFFFFFFu, &size, &writable); },
         {N(blob_id), N(2), N(0xFFFFFFFFu), P(&size), P(&writable)}},
        {"GetProperty", [&] { return AudioUnitGetProperty(unit, blob_id, 1, 7, &blob, &size); },
         {N(blob_id), N(1), N(7), P(&blob), P(&size)}},
        {"SetProperty", [&] { return AudioUnitSetProperty(unit, blob_id, 0, 3, &blob, 8); },
         {N(blob_id), N(0), N(3), P(&blob), N(8)}},
        {"GetParameter", [&] { return AudioUnitGetParameter(unit, 5, 0, 0, &value); }, {N(5), N(0), N(0), P(&value)}},
        {"SetParameter", [&] { return AudioUnitSetParameter(unit, 6, 0, 0, -1e-40f, 0x80000001u); },
         {N(6), N(0), N(0), F(-1e-40f), N(0x80000001u)}},
        {"Reset", [&] { return AudioUnitReset(unit, 4, 0xFFFFFFFEu); }, {N(4), N(0xFFFFFFFEu)}},
        {"AddPropertyListener", [&] { return AudioUnitAddPropertyListener(unit, 80110, listener, &blob); },
         {N(80110), P(listener), P(&blob)}},
        {"RemovePropertyListenerWithUserData",
         [&] { return AudioUnitRemovePropertyListenerWithUserData(unit, 80110, listener, &blob); },
         {N(80110), P(listener), P(&blob)}},
        {"Render", [&] { return AudioUnitRender(unit, &flags, &stamp, 3, 1157, &buffers); },
         {P(&flags), P(&stamp), N(3), N(1157), P(&buffers)}},
        {"AddRenderNotify", [&] { return AudioUnitAddRenderNotify(unit, notify, &flags); }, {P(notify), P(&flags)}},
        {"RemoveRenderNotify", [&] { return AudioUnitRemoveRenderNotify(unit, notify, &flags); }, {P(notify), P(&flags)}},
        {"ScheduleParameters", [&] { return AudioUnitScheduleParameters(unit, events, 2); }, {P(events), N(2)}},
        {"CanDo", [&] { return AudioComponentInstanceCanDo(unit, kComponentVersionSelect) ? noErr : paramErr; }, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.call();
        const au_fixture::Request received = last_request(unit);
        platform::RequestBlock<au_fixture::kMaxSlots> block(received.what);
        for (int i = 0; i < received.slot_count; ++i) block.set(i, received.slots[i]);
        const platform::ComponentRequest request(block.get());
        ASSERT_EQ(received.slot_count, static_cast<int>(c.args.size()) + 1);
        if (request.what() == kComponentCanDoSelect) EXPECT_EQ(request.asked_selector(), kComponentVersionSelect);
        else EXPECT_EQ(request.instance(), unit.get());
        for (size_t i = 0; i < c.args.size(); ++i) {
            const Arg &want = c.args[i];
            SCOPED_TRACE("argument " + std::to_string(i));
            switch (want.kind) {
            case Arg::number: EXPECT_EQ(request.u32(i), want.u32); break;
            case Arg::pointer: EXPECT_EQ(request.ptr<const void>(i), want.ptr); break;
            // Bit for bit: a denormal or a sign must not be lost.
            case Arg::real: EXPECT_EQ(platform::encode_f32(request.f32(i)), platform::encode_f32(want.f32)); break;
            }
        }
    }
}

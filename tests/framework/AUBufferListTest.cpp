// The buffer machinery and the render-notification stacks, in isolation.
#include "framework/AUBufferList.h"
#include "framework/AURenderNotifications.h"
#include "tests/framework/FrameworkTestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using fwtest::CanonicalFormat;

TEST(AUBufferList, AllocatesAlignedStreamsAndPreparesWithinThem) {
    AUBufferList buffers;
    const AudioStreamBasicDescription stereo = CanonicalFormat(2);
    buffers.Allocate(stereo, 13);  // 52 bytes per stream, rounded to 64
    EXPECT_EQ(buffers.GetAllocatedStreams(), 2u);
    EXPECT_EQ(buffers.GetAllocatedFrames(), 13u);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 128u);
    AudioBufferList *list = nullptr;
    ASSERT_EQ(buffers.GetBufferList(list), -1);  // not prepared yet
    ASSERT_EQ(buffers.PrepareBuffer(stereo, 13, list), noErr);
    ASSERT_EQ(list->mNumberBuffers, 2u);
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(list->mBuffers[i].mData) % 16, 0u);
        EXPECT_EQ(list->mBuffers[i].mNumberChannels, 1u);
        EXPECT_EQ(list->mBuffers[i].mDataByteSize, 52u);
    }
    EXPECT_EQ(static_cast<Byte *>(list->mBuffers[1].mData) - static_cast<Byte *>(list->mBuffers[0].mData), 64);
    EXPECT_EQ(buffers.PrepareBuffer(stereo, 14, list), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(buffers.PrepareBuffer(CanonicalFormat(3), 8, list), kAudioUnitErr_FormatNotSupported);

    // Memory never shrinks; a smaller allocation keeps it and only lowers the frame count.
    const Byte *memory = buffers.SampleMemory();
    buffers.Allocate(stereo, 4);
    EXPECT_EQ(buffers.SampleMemory(), memory);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 128u);
    EXPECT_EQ(buffers.GetAllocatedFrames(), 4u);

    // Null buffers are for a source that hands out its own pointers.
    ASSERT_EQ(buffers.PrepareNullBuffer(stereo, 512, list), noErr);
    EXPECT_EQ(list->mBuffers[0].mData, nullptr);
    EXPECT_EQ(list->mBuffers[0].mDataByteSize, 2048u);

    buffers.Deallocate();
    EXPECT_FALSE(buffers.HasSampleMemory());
    EXPECT_EQ(buffers.PrepareBuffer(stereo, 1, list), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_THROW(buffers.Allocate(CanonicalFormat(0x40000), 0x10000), std::bad_alloc);  // beyond 32-bit sizes
}

TEST(AUBufferList, CopiesIntoTheCallersBuffersWithoutOverrunningThem) {
    AUBufferList buffers;
    const AudioStreamBasicDescription stereo = CanonicalFormat(2);
    buffers.Allocate(stereo, 8);
    AudioBufferList *list = nullptr;
    ASSERT_EQ(buffers.PrepareBuffer(stereo, 8, list), noErr);
    for (UInt32 c = 0; c < 2; ++c)
        for (UInt32 i = 0; i < 8; ++i) static_cast<float *>(list->mBuffers[c].mData)[i] = float(c * 10 + i);

    fwtest::Buffers caller(2, 8, true, -1.0f);
    caller.list()->mBuffers[1].mDataByteSize = 4 * 4;  // the caller's second buffer holds 4 samples
    ASSERT_EQ(buffers.CopyBufferContentsTo(*caller.list()), noErr);
    EXPECT_EQ(caller.channel(0)[7], 7.0f);
    EXPECT_EQ(caller.channel(1)[3], 13.0f);
    EXPECT_EQ(caller.storage(1)[4], -1.0f);
    EXPECT_EQ(caller.list()->mBuffers[1].mDataByteSize, 16u);
    EXPECT_EQ(buffers.CopyBufferContentsTo(*caller.list()), -1);  // consumed

    // Another's list fits only when the record can hold it.
    fwtest::Buffers three(3, 8);
    EXPECT_EQ(buffers.SetBufferList(*three.list()), -1);
    fwtest::Buffers two(2, 8);
    ASSERT_EQ(buffers.SetBufferList(*two.list()), noErr);
    EXPECT_EQ(buffers.GetPtrState(), AUBufferList::kPtrsToExternalMemory);
}

TEST(AUBufferList, UsesAnExternalBlockOnlyWhenItIsLargeEnough) {
    AUBufferList buffers;
    const AudioStreamBasicDescription mono = CanonicalFormat(1);
    alignas(16) static Byte block[1024];
    buffers.UseExternalBuffer(mono, {block, sizeof block});
    EXPECT_FALSE(buffers.HasExternalMemory());  // no memory of its own yet: nothing to replace
    buffers.Allocate(mono, 64);                  // 256 bytes
    buffers.UseExternalBuffer(mono, {block, 200});
    EXPECT_FALSE(buffers.HasExternalMemory());
    buffers.UseExternalBuffer(mono, {block, 1023});  // rounded down to 1008
    EXPECT_TRUE(buffers.HasExternalMemory());
    EXPECT_EQ(buffers.SampleMemory(), block);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 1008u);
    EXPECT_EQ(buffers.GetAllocatedFrames(), 252u);
    // Growing past it drops the block (it is the host's) and takes memory of our own again.
    buffers.Allocate(mono, 1024);
    EXPECT_FALSE(buffers.HasExternalMemory());
    EXPECT_NE(buffers.SampleMemory(), block);
}

TEST(AUBufferList, AnExternalBlockServesEveryFrameCountItIsSizedFor) {
    AUBufferList buffers;
    const AudioStreamBasicDescription stereo = CanonicalFormat(2);
    alignas(16) static Byte block[528];
    buffers.Allocate(stereo, 64);  // 2 x 256 bytes
    buffers.UseExternalBuffer(stereo, {block, sizeof block});
    ASSERT_TRUE(buffers.HasExternalMemory());
    // 528 bytes hold 64 frames per stream at a 16-byte stride, not 66: the rounded stride of 66
    // frames would not fit, and every prepare would be refused.
    EXPECT_EQ(buffers.GetAllocatedFrames(), 64u);
    AudioBufferList *list = nullptr;
    ASSERT_EQ(buffers.PrepareBuffer(stereo, 64, list), noErr);
    for (UInt32 i = 0; i < 2; ++i) {
        const auto *data = static_cast<const Byte *>(list->mBuffers[i].mData);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
        EXPECT_LE(data + list->mBuffers[i].mDataByteSize, block + sizeof block);
    }
    EXPECT_EQ(buffers.PrepareBuffer(stereo, 65, list), kAudioUnitErr_TooManyFramesToProcess);
}

namespace {
struct Calls {
    std::vector<int> order;
    static OSStatus First(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32,
                          AudioBufferList *) {
        static_cast<Calls *>(self)->order.push_back(1);
        return noErr;
    }
    static OSStatus Second(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32,
                           AudioBufferList *) {
        static_cast<Calls *>(self)->order.push_back(2);
        return noErr;
    }
};
}  // namespace

TEST(AURenderNotifications, RequestsApplyInArrivalOrderAtTheNextUpdate) {
    AURenderNotifications notifications;
    Calls calls;
    EXPECT_FALSE(notifications.Touched());
    notifications.Add(&Calls::Second, &calls);
    notifications.Add(&Calls::First, &calls);
    notifications.Add(&Calls::Second, &calls);  // already there
    EXPECT_TRUE(notifications.Touched());
    notifications.Call(0, nullptr, 0, 0, nullptr);
    EXPECT_TRUE(calls.order.empty());  // nothing active before the render thread applies them
    notifications.Update();
    notifications.Call(0, nullptr, 0, 0, nullptr);
    EXPECT_EQ(calls.order, (std::vector<int>{2, 1}));

    // Remove then add again in one batch: the callback ends up active, at the end.
    notifications.Remove(&Calls::Second, &calls);
    notifications.Add(&Calls::Second, &calls);
    notifications.Remove(&Calls::First, &calls);
    notifications.Update();
    calls.order.clear();
    notifications.Call(0, nullptr, 0, 0, nullptr);
    EXPECT_EQ(calls.order, (std::vector<int>{2}));
    // Removing what is not there changes nothing.
    notifications.Remove(&Calls::First, &calls);
    notifications.Update();
    calls.order.clear();
    notifications.Call(0, nullptr, 0, 0, nullptr);
    EXPECT_EQ(calls.order, (std::vector<int>{2}));
}

// The render path allocates nothing: this binary replaces the global allocation functions (and,
// outside sanitizer builds, malloc itself) with counting ones, and counts what the rendering
// thread allocates across many renders after the first.
#include "tests/framework/FrameworkTestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool tCounting = false;  // static TLS of the executable: touching it allocates nothing
std::atomic<long> gAllocations{0};

void Note() {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

// Counts what the calling thread allocates while it lives.
struct Counting {
    Counting() {
        gAllocations = 0;
        tCounting = true;
    }
    ~Counting() { tCounting = false; }
    long Allocations() const { return gAllocations.load(); }
};

}  // namespace

void *operator new(std::size_t size) {
    Note();
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    Note();
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void *operator new(std::size_t size, std::align_val_t alignment) {
    Note();
    const std::size_t a = static_cast<std::size_t>(alignment);
    if (void *p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// malloc and friends too (glibc lets a program replace them), so C-level allocations count.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
void *malloc(size_t size) {
    Note();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    Note();
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t size) {
    Note();
    return __libc_realloc(p, size);
}
void *aligned_alloc(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **out, size_t alignment, size_t size) {
    Note();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12 /* ENOMEM */;
}
void free(void *p) { __libc_free(p); }
}
#endif

using namespace fwtest;

namespace {

OSStatus Notified(void *count, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32, AudioBufferList *) {
    ++*static_cast<long *>(count);
    return noErr;
}
void Heard(void *count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<long *>(count);
}

}  // namespace

TEST(RenderAllocation, TheCounterSeesTheComponentsAllocations) {
    Unit unit;
    UInt32 size = 0;
    AudioUnitParameterID ids[2];
    size = sizeof ids;
    Counting counting;
    // Reading the parameter list builds a temporary list inside the component.
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size), noErr);
    EXPECT_GT(counting.Allocations(), 0);
}

TEST(RenderAllocation, RendersAfterTheFirstAllocateNothing) {
    Unit unit;
    InputSignal input;
    ASSERT_EQ(SetChannels(unit, 2, 2), noErr);
    ASSERT_EQ(input.Attach(unit), noErr);
    ASSERT_EQ(Control(unit, {noErr, 0, /*announceBlocks*/ 1, 0}), noErr);
    long notifications = 0, announcements = 0, errors = 0;
    ASSERT_EQ(AudioUnitAddRenderNotify(unit, &Notified, &notifications), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, TestGain::kBlockProperty, &Heard, &announcements), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_LastRenderError, &Heard, &errors), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    Buffers withMemory(2, 512), withoutMemory(2, 512, false);
    AudioUnitParameterEvent events[2]{};
    events[0].parameter = TestGain::kGain;
    events[0].eventType = kParameterEvent_Ramped;
    events[0].eventValues.ramp = {64, 128, 0.5f, 1.0f};
    events[1].parameter = TestGain::kSpare;
    events[1].eventType = kParameterEvent_Immediate;
    events[1].eventValues.immediate = {300, 0.75f};
    ASSERT_EQ(Render(unit, withMemory, 512, 0), noErr);  // the first render may set things up

    constexpr int kRenders = 2000;
    long allocations = 0, rendered = 0;
    {
        Counting counting;
        for (int i = 1; i <= kRenders; ++i) {
            Buffers &buffers = i % 2 ? withMemory : withoutMemory;
            if (i % 3 == 0) AudioUnitScheduleParameters(unit, events, 2);
            const OSStatus status = Render(unit, buffers, i % 7 == 0 ? 1157 : 512, 512.0 * i);
            if (status == noErr)
                ++rendered;
            else if (status != kAudioUnitErr_TooManyFramesToProcess)
                ADD_FAILURE() << status;
        }
        allocations = counting.Allocations();
    }
    EXPECT_EQ(allocations, 0);
    // The paths under test really ran: notifications, announcements from the render thread, and
    // the recording of a render error.
    EXPECT_EQ(rendered, kRenders - kRenders / 7);
    EXPECT_EQ(notifications, 2 * (rendered + 1));  // before and after each render that ran
    EXPECT_GE(announcements, rendered);
    EXPECT_EQ(errors, 1);
}

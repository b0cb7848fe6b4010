// The detached run loop (a Linux extension): current on a thread only while set, performed only by
// CFRunLoopRunDetached, and on whichever thread calls that.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Performed {
    std::atomic<int> count{0};
    std::atomic<std::thread::id> thread{};
};

CFRunLoopSourceRef make_source(Performed &p, CFIndex order) {
    CFRunLoopSourceContext context{};
    context.info = &p;
    context.perform = [](void *info) {
        auto *performed = static_cast<Performed *>(info);
        performed->thread.store(std::this_thread::get_id());
        performed->count.fetch_add(1);
    };
    return CFRunLoopSourceCreate(nullptr, order, &context);
}

TEST(CFRunLoopDetached, BindsWhileCurrentAndRunsOnlyWhenRunDetachedOnAnyThread) {
    CFRunLoopRef own = CFRunLoopGetCurrent();
    CFRunLoopRef detached = CFRunLoopCreateDetached();
    EXPECT_EQ(CFRunLoopSetCurrent(detached), nullptr);
    EXPECT_EQ(CFRunLoopGetCurrent(), detached);
    Performed first, second;
    CFRunLoopSourceRef a = make_source(first, 1), b = make_source(second, 0);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), a, kCFRunLoopDefaultMode);  // what a listener does
    CFRunLoopAddSource(CFRunLoopGetCurrent(), b, kCFRunLoopDefaultMode);
    EXPECT_EQ(CFRunLoopSetCurrent(nullptr), detached);
    EXPECT_EQ(CFRunLoopGetCurrent(), own);

    CFRunLoopSourceSignal(a);
    CFRunLoopSourceSignal(b);
    CFRunLoopWakeUp(detached);  // nothing waits on it: a no-op, not a failure
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunFinished);  // the thread's own has none
    EXPECT_EQ(CFRunLoopRunDetached(own, kCFRunLoopDefaultMode), kCFRunLoopRunFinished);
    ASSERT_EQ(first.count + second.count, 0);

    SInt32 result = 0;
    std::thread other([&] { result = CFRunLoopRunDetached(detached, kCFRunLoopDefaultMode); });
    const std::thread::id other_id = other.get_id();
    other.join();
    EXPECT_EQ(result, kCFRunLoopRunHandledSource);
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(second.count, 1);
    EXPECT_EQ(first.thread.load(), other_id);
    EXPECT_EQ(CFRunLoopRunDetached(detached, kCFRunLoopDefaultMode), kCFRunLoopRunTimedOut);  // performed once per signal

    CFRunLoopSourceInvalidate(a);
    CFRunLoopSourceInvalidate(b);
    CFRelease(a);
    CFRelease(b);
    EXPECT_EQ(CFRunLoopRunDetached(detached, kCFRunLoopDefaultMode), kCFRunLoopRunFinished);
    CFRelease(detached);
}

}  // namespace

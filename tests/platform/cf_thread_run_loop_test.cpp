// Run loops: delivery only on the owning thread and only inside a run, the documented return
// codes, signals from other threads (including without a wake-up) and removal guarantees.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
    std::atomic<int> performed{0};
    std::atomic<std::thread::id> thread{};
    std::atomic<int> released{0};
};

void perform(void *info) {
    auto *c = static_cast<Counter *>(info);
    c->thread.store(std::this_thread::get_id());
    c->performed.fetch_add(1);
}

CFRunLoopSourceRef make_source(Counter &c, CFIndex order = 0) {
    CFRunLoopSourceContext context{};
    context.info = &c;
    context.release = [](const void *info) { static_cast<Counter *>(const_cast<void *>(info))->released.fetch_add(1); };
    context.perform = perform;
    return CFRunLoopSourceCreate(nullptr, order, &context);
}

TEST(CFRunLoop, OnePerThreadAndPerformOnlyInsideARunOnTheOwner) {
    CFRunLoopRef mine = CFRunLoopGetCurrent();
    EXPECT_EQ(CFRunLoopGetCurrent(), mine);
    Counter c;
    CFRunLoopSourceRef s = make_source(c);
    CFRunLoopAddSource(mine, s, kCFRunLoopDefaultMode);

    CFRunLoopRef theirs = nullptr;
    std::thread other([&] {
        theirs = CFRunLoopGetCurrent();
        CFRunLoopSourceSignal(s);
        CFRunLoopWakeUp(mine);
        // Running the other thread's loop must not perform a source of mine.
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false), kCFRunLoopRunFinished);
    });
    other.join();
    EXPECT_NE(theirs, mine);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.performed.load(), 0) << "nothing runs until the owner runs its loop";

    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunTimedOut);
    EXPECT_EQ(c.performed.load(), 1);
    EXPECT_EQ(c.thread.load(), std::this_thread::get_id());
    EXPECT_EQ(CFRunLoopRunInMode(CFSTR("OtherMode"), 0, false), kCFRunLoopRunFinished) << "no sources in that mode";
    CFRunLoopSourceInvalidate(s);
    CFRelease(s);
    EXPECT_EQ(c.released.load(), 1) << "the info is released with the last reference";
}

TEST(CFRunLoop, ReturnCodesAndTimeout) {
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false), kCFRunLoopRunFinished) << "no sources at all";
    Counter a, b;
    CFRunLoopSourceRef first = make_source(a, 1), second = make_source(b, 2);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), first, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), second, kCFRunLoopCommonModes);

    auto start = Clock::now();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false), kCFRunLoopRunTimedOut);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));

    CFRunLoopSourceSignal(second);
    CFRunLoopSourceSignal(first);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(a.performed.load() + b.performed.load(), 1) << "returns after one source";
    EXPECT_EQ(a.performed.load(), 1) << "lower order first";
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(b.performed.load(), 1) << "a source added for the common modes runs in the default mode";

    // A zero timeout still performs everything signalled at that moment.
    CFRunLoopSourceSignal(first);
    CFRunLoopSourceSignal(second);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunTimedOut);
    EXPECT_EQ(a.performed.load(), 2);
    EXPECT_EQ(b.performed.load(), 2);

    CFRunLoopStop(CFRunLoopGetCurrent());  // a stop before the run ends that run at once
    start = Clock::now();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, false), kCFRunLoopRunStopped);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    CFRunLoopSourceInvalidate(first);
    CFRunLoopRemoveSource(CFRunLoopGetCurrent(), second, kCFRunLoopCommonModes);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false), kCFRunLoopRunFinished);
    CFRelease(first);
    CFRelease(second);
}

TEST(CFRunLoop, StopFromAnotherThreadEndsAWaitingRun) {
    Counter c;
    CFRunLoopSourceRef s = make_source(c);
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    CFRunLoopAddSource(rl, s, kCFRunLoopDefaultMode);
    std::thread stopper([rl] {
        while (!CFRunLoopIsWaiting(rl)) std::this_thread::yield();
        CFRunLoopStop(rl);
    });
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30.0, false), kCFRunLoopRunStopped);
    stopper.join();
    CFRunLoopSourceInvalidate(s);
    CFRelease(s);
}

// The render thread signals without waking the loop: the loop must notice within its poll interval.
TEST(CFRunLoop, SignalWithoutWakeUpIsPickedUpByPolling) {
    Counter c;
    CFRunLoopSourceRef s = make_source(c);
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    CFRunLoopAddSource(rl, s, kCFRunLoopDefaultMode);
    ASSERT_GT(CFRunLoopGetPollInterval(), 0.0);
    ASSERT_LE(CFRunLoopGetPollInterval(), 0.005);

    std::atomic<bool> signalled{false};
    std::thread signaller([&] {
        while (!CFRunLoopIsWaiting(rl)) std::this_thread::yield();
        CFRunLoopSourceSignal(s);  // no CFRunLoopWakeUp
        signalled.store(true);
    });
    // Generous bound (the exact latency is a benchmark matter): far below the 10 s timeout, which
    // is what the run would take if only a wake-up could end the wait.
    auto start = Clock::now();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, true), kCFRunLoopRunHandledSource);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    signaller.join();
    EXPECT_TRUE(signalled.load());
    EXPECT_EQ(c.performed.load(), 1);
    CFRunLoopSourceInvalidate(s);
    CFRelease(s);
}

TEST(CFRunLoop, InvalidatedOrRemovedSourceIsNeverPerformed) {
    Counter c, d;
    CFRunLoopSourceRef s = make_source(c), r = make_source(d);
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    CFRunLoopAddSource(rl, s, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(rl, r, kCFRunLoopDefaultMode);
    CFRunLoopSourceSignal(s);
    CFRunLoopSourceSignal(r);
    std::thread other([&] {
        CFRunLoopSourceInvalidate(s);
        CFRunLoopRemoveSource(rl, r, kCFRunLoopDefaultMode);
    });
    other.join();
    EXPECT_FALSE(CFRunLoopSourceIsValid(s));
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false), kCFRunLoopRunFinished);
    CFRunLoopAddSource(rl, s, kCFRunLoopDefaultMode);  // an invalid source cannot come back
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false), kCFRunLoopRunFinished);
    EXPECT_EQ(c.performed.load(), 0);
    EXPECT_EQ(d.performed.load(), 0);
    CFRelease(s);
    CFRelease(r);
}

// A perform may invalidate a source that is signalled later in the same pass: it must not run.
TEST(CFRunLoop, SourceInvalidatedByAnEarlierPerformIsSkipped) {
    struct Pair {
        CFRunLoopSourceRef victim = nullptr;
        std::atomic<int> victim_runs{0};
    } pair;
    CFRunLoopSourceContext killer{};
    killer.info = &pair;
    killer.perform = [](void *info) { CFRunLoopSourceInvalidate(static_cast<Pair *>(info)->victim); };
    CFRunLoopSourceContext victim{};
    victim.info = &pair;
    victim.perform = [](void *info) { static_cast<Pair *>(info)->victim_runs.fetch_add(1); };
    CFRunLoopSourceRef k = CFRunLoopSourceCreate(nullptr, 0, &killer);
    pair.victim = CFRunLoopSourceCreate(nullptr, 1, &victim);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), k, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), pair.victim, kCFRunLoopDefaultMode);
    CFRunLoopSourceSignal(pair.victim);
    CFRunLoopSourceSignal(k);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    EXPECT_EQ(pair.victim_runs.load(), 0);
    CFRunLoopSourceInvalidate(k);
    CFRelease(k);
    CFRelease(pair.victim);
}

// Many threads signal and add sources while the owner runs: every signal sent before the last
// run is delivered at least once, and nothing runs off the owner's thread.
TEST(CFRunLoop, ConcurrentSignalsAndAddsAreDeliveredOnTheOwner) {
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    constexpr int kSources = 8;
    std::vector<Counter> counters(kSources);
    std::vector<CFRunLoopSourceRef> sources;
    for (auto &c : counters) sources.push_back(make_source(c));
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < kSources; i += 4) CFRunLoopAddSource(rl, sources[i], kCFRunLoopDefaultMode);
            for (int n = 0; n < 2000; ++n) {
                CFRunLoopSourceSignal(sources[(n + t) % kSources]);
                if (n % 100 == 0) CFRunLoopWakeUp(rl);
            }
        });
    }
    auto start = Clock::now();
    while (Clock::now() - start < std::chrono::milliseconds(200)) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
    for (auto &t : threads) t.join();
    done.store(true);
    for (auto *s : sources) CFRunLoopSourceSignal(s);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    for (auto &c : counters) {
        EXPECT_GE(c.performed.load(), 1);
        EXPECT_EQ(c.thread.load(), std::this_thread::get_id());
    }
    for (auto *s : sources) {
        CFRunLoopSourceInvalidate(s);
        CFRelease(s);
    }
}

// A window system waits on the descriptor, then runs the loop with a zero timeout: the run must
// leave the descriptor quiet again, or the window system's wait would return at once forever.
TEST(CFRunLoop, WakeUpDescriptorIsClearedByAZeroTimeoutRun) {
    Counter c;
    CFRunLoopSourceRef s = make_source(c);
    CFRunLoopRef rl = CFRunLoopGetCurrent();
    CFRunLoopAddSource(rl, s, kCFRunLoopDefaultMode);
    pollfd pfd{CFRunLoopGetWakeUpFileDescriptor(rl), POLLIN, 0};
    ASSERT_GE(pfd.fd, 0);
    EXPECT_EQ(poll(&pfd, 1, 0), 0);
    std::thread([&] {
        CFRunLoopSourceSignal(s);
        CFRunLoopWakeUp(rl);
    }).join();
    EXPECT_EQ(poll(&pfd, 1, 1000), 1) << "a wake-up makes the descriptor readable";
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunTimedOut);
    EXPECT_EQ(c.performed.load(), 1);
    EXPECT_EQ(poll(&pfd, 1, 0), 0);
    CFRunLoopSourceInvalidate(s);
    CFRelease(s);
}

TEST(CFRunLoop, ThreadExitReleasesItsLoopsSources) {
    Counter c;
    CFRunLoopSourceRef s = make_source(c);
    CFRunLoopRef kept = nullptr;
    std::thread t([&] {
        kept = static_cast<CFRunLoopRef>(const_cast<void *>(CFRetain(CFRunLoopGetCurrent())));
        CFRunLoopAddSource(kept, s, kCFRunLoopDefaultMode);
    });
    t.join();
    EXPECT_EQ(CFGetRetainCount(s), 1) << "the ended thread's loop let go of the source";
    EXPECT_GE(CFRunLoopGetWakeUpFileDescriptor(kept), 0);
    CFRunLoopWakeUp(kept);  // harmless on a loop whose thread has ended
    CFRelease(kept);
    CFRelease(s);
    EXPECT_EQ(c.released.load(), 1);
}

}  // namespace

#ifndef CF_RUN_LOOP_H
#define CF_RUN_LOOP_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

enum {
    kCFRunLoopRunFinished = 1,
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4
};

CF_EXPORT const CFStringRef kCFRunLoopDefaultMode;
CF_EXPORT const CFStringRef kCFRunLoopCommonModes;

/* Version-0 source: perform runs on the run loop's thread after CFRunLoopSourceSignal. */
typedef struct {
    CFIndex version;
    void *info;
    const void *(*retain)(const void *info);
    void (*release)(const void *info);
    CFStringRef (*copyDescription)(const void *info);
    Boolean (*equal)(const void *info1, const void *info2);
    CFHashCode (*hash)(const void *info);
    void (*schedule)(void *info, CFRunLoopRef rl, CFStringRef mode);
    void (*cancel)(void *info, CFRunLoopRef rl, CFStringRef mode);
    void (*perform)(void *info);
} CFRunLoopSourceContext;

CF_EXPORT CFTypeID CFRunLoopGetTypeID(void);
CF_EXPORT CFTypeID CFRunLoopSourceGetTypeID(void);
/* The calling thread's run loop, created on first use and kept for the life of the thread. */
CF_EXPORT CFRunLoopRef CFRunLoopGetCurrent(void);
/* The run loop of the first thread that asked for a run loop (normally the process's main thread). */
CF_EXPORT CFRunLoopRef CFRunLoopGetMain(void);
CF_EXPORT SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled);
CF_EXPORT void CFRunLoopRun(void);
CF_EXPORT void CFRunLoopStop(CFRunLoopRef rl);
CF_EXPORT void CFRunLoopWakeUp(CFRunLoopRef rl);
CF_EXPORT Boolean CFRunLoopIsWaiting(CFRunLoopRef rl);

CF_EXPORT CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef allocator, CFIndex order,
                                                   CFRunLoopSourceContext *context);
CF_EXPORT void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
CF_EXPORT void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
/* Once Remove or Invalidate returns, the run loop starts no new perform of the source. A perform
 * that the run loop's thread has already begun is not waited for (waiting could deadlock with a
 * lock the perform takes): an owner that frees what perform uses from another thread synchronises
 * with it, or frees it in the context's release callback, which runs when the last reference to
 * the source goes (the run loop holds one while it performs). */
CF_EXPORT void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source);
CF_EXPORT Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source);
/* Marks the source ready. Wait-free, allocation-free and free of system calls, so it may be called
 * from a real-time thread; the run loop notices it at its next wake-up or poll (see
 * CFRunLoopGetWakeUpFileDescriptor). Call CFRunLoopWakeUp as well for prompt delivery. */
CF_EXPORT void CFRunLoopSourceSignal(CFRunLoopSourceRef source);

/* Linux extension, for a window system that runs its own event loop on the thread: a descriptor
 * that becomes readable when the run loop has work (CFRunLoopWakeUp). Signals from real-time
 * threads do not write it, so a waiter should also poll at least every
 * CFRunLoopGetPollInterval() seconds, then run the run loop with a zero timeout. */
CF_EXPORT int CFRunLoopGetWakeUpFileDescriptor(CFRunLoopRef rl);
CF_EXPORT CFTimeInterval CFRunLoopGetPollInterval(void);

/* Linux extension, for a plug-in whose host calls it from whichever thread it likes (an LV2
 * plug-in's run()): a run loop that belongs to no thread. Nothing ever waits on it, so it has no
 * wake-up descriptor and CFRunLoopWakeUp on it does nothing. CFRunLoopSetCurrent makes it the
 * calling thread's current run loop for a while, so that what binds itself to the current run loop
 * (an event listener) binds to it; CFRunLoopRunDetached then performs its signalled sources on
 * whichever thread calls it. One thread at a time may run it or have it current, and its sources
 * are added, removed and invalidated only while no thread runs it: the caller sees to that, and
 * in return a run takes no lock. CFRunLoopCreateDetached answers a new reference. */
CF_EXPORT CFRunLoopRef CFRunLoopCreateDetached(void);
/* Makes rl the calling thread's current run loop (NULL: the thread's own again) and answers the
 * one set before (NULL when none was). */
CF_EXPORT CFRunLoopRef CFRunLoopSetCurrent(CFRunLoopRef rl);
/* Performs every source of the detached run loop rl signalled in mode, once, in order, and returns
 * without waiting: kCFRunLoopRunHandledSource when one was performed, kCFRunLoopRunTimedOut when
 * none was ready, kCFRunLoopRunFinished for a thread's own run loop or a mode without sources.
 * Takes no lock, allocates nothing and makes no system call for up to 16 sources (their
 * performs aside). */
CF_EXPORT SInt32 CFRunLoopRunDetached(CFRunLoopRef rl, CFStringRef mode);

CF_EXTERN_C_END

#endif

// The property-listener list: added and removed on host threads, notified from any thread,
// including the render thread.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <atomic>
#include <mutex>
#include <vector>

// Notify must neither lock nor allocate (the render thread announces properties through it), while
// host threads add and remove listeners at any time. The list is therefore an immutable snapshot
// behind an atomic pointer: Add and Remove (serialised among themselves by a mutex) build a new
// snapshot and publish it; Notify walks whichever snapshot it loaded.
//
// Reclamation: a reader announces itself in one of two counters, chosen by the current epoch
// parity, before it loads the snapshot. A writer that replaced the snapshot flips the epoch twice,
// each time waiting for the counter of the old parity to drain, so every reader that could still
// hold the old snapshot has left before it is freed; readers arriving meanwhile use the other
// counter and cannot hold the writer back for ever. Hence after Remove returns, no thread calls
// the removed callback any more.
//
// A listener callback may itself add or remove listeners of the same instance: the writer finds
// this list among the ones its own thread is notifying and then does not wait (it would wait for
// itself); the old snapshot is kept until a later writer finds no readers, and removed entries are
// marked dead so the enclosing Notify on that thread skips them. Each thread keeps the lists it is
// notifying in a chain of records on its own stack, so any number of threads may notify at once:
// there is no shared table of readers to run out of.
class AUPropertyListeners {
public:
    AUPropertyListeners() = default;
    ~AUPropertyListeners();
    AUPropertyListeners(const AUPropertyListeners &) = delete;
    AUPropertyListeners &operator=(const AUPropertyListeners &) = delete;

    // Host threads. Duplicates are kept: a listener added twice is called twice.
    void Add(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon);
    // Host threads. Removes every entry with this id and callback (and user data when matching).
    void Remove(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon, bool matchRefCon);
    // Any thread; lock- and allocation-free. Calls, in order of addition, every entry for `id`.
    void Notify(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) const noexcept;

private:
    struct Entry {
        AudioUnitPropertyID id;
        AudioUnitPropertyListenerProc proc;
        void *refCon;
        std::atomic<bool> live;
    };
    struct Snapshot {
        size_t count;
        Entry *entries;
    };
    static void Fill(Entry &entry, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon);
    static Snapshot *MakeSnapshot(size_t count);
    static void FreeSnapshot(Snapshot *snapshot) noexcept;
    // With writeMutex_ held; releases it before waiting for readers.
    void Publish(Snapshot *next, std::unique_lock<std::mutex> &lock);
    bool CallerIsReading() const noexcept;

    mutable std::atomic<Snapshot *> current_{nullptr};
    mutable std::atomic<unsigned> epoch_{0};
    mutable std::atomic<unsigned> readers_[2] = {0, 0};
    std::mutex writeMutex_;
    std::vector<Snapshot *> retired_;
};

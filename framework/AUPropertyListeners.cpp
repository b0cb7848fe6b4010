#include "framework/AUPropertyListeners.h"

#include <thread>

namespace {

// The lists this thread is notifying, innermost first: one record per Notify frame, on that frame's
// stack. Initial-exec TLS, so that the render thread reaches it with a plain load even inside the
// dlopen'ed component: no lazy allocation of the thread's block on first use.
struct ReadingRecord {
    const void *list;
    const ReadingRecord *outer;
};
__attribute__((tls_model("initial-exec"))) thread_local const ReadingRecord *tReading = nullptr;

}  // namespace

void AUPropertyListeners::Fill(Entry &entry, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon) {
    entry.id = id;
    entry.proc = proc;
    entry.refCon = refCon;
    entry.live.store(true, std::memory_order_relaxed);
}

AUPropertyListeners::~AUPropertyListeners() {
    FreeSnapshot(current_.load());
    for (Snapshot *snapshot : retired_) FreeSnapshot(snapshot);
}

AUPropertyListeners::Snapshot *AUPropertyListeners::MakeSnapshot(size_t count) {
    auto *snapshot = new Snapshot{count, nullptr};
    try {
        snapshot->entries = new Entry[count];
    } catch (...) {
        delete snapshot;
        throw;
    }
    return snapshot;
}

void AUPropertyListeners::FreeSnapshot(Snapshot *snapshot) noexcept {
    if (snapshot == nullptr) return;
    delete[] snapshot->entries;
    delete snapshot;
}

bool AUPropertyListeners::CallerIsReading() const noexcept {
    for (const ReadingRecord *record = tReading; record != nullptr; record = record->outer)
        if (record->list == this) return true;
    return false;
}

void AUPropertyListeners::Add(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon) {
    std::unique_lock<std::mutex> lock(writeMutex_);
    const Snapshot *old = current_.load(std::memory_order_acquire);
    const size_t oldCount = old != nullptr ? old->count : 0;
    Snapshot *next = MakeSnapshot(oldCount + 1);
    size_t n = 0;
    for (size_t i = 0; i < oldCount; ++i)
        if (const Entry &entry = old->entries[i]; entry.live.load(std::memory_order_relaxed))
            Fill(next->entries[n++], entry.id, entry.proc, entry.refCon);
    Fill(next->entries[n++], id, proc, refCon);
    next->count = n;
    Publish(next, lock);
}

void AUPropertyListeners::Remove(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon,
                                 bool matchRefCon) {
    std::unique_lock<std::mutex> lock(writeMutex_);
    Snapshot *old = current_.load(std::memory_order_acquire);
    if (old == nullptr) return;
    auto matches = [&](const Entry &entry) {
        return entry.id == id && entry.proc == proc && (!matchRefCon || entry.refCon == refCon);
    };
    size_t keep = 0;
    for (size_t i = 0; i < old->count; ++i)
        if (old->entries[i].live.load(std::memory_order_relaxed) && !matches(old->entries[i])) ++keep;
    Snapshot *next = MakeSnapshot(keep);
    size_t n = 0;
    for (size_t i = 0; i < old->count; ++i) {
        Entry &entry = old->entries[i];
        if (!entry.live.load(std::memory_order_relaxed)) continue;
        if (matches(entry)) {
            // A Notify already walking the old snapshot on this very thread skips it from now on.
            entry.live.store(false, std::memory_order_release);
            continue;
        }
        Fill(next->entries[n++], entry.id, entry.proc, entry.refCon);
    }
    Publish(next, lock);
}

void AUPropertyListeners::Publish(Snapshot *next, std::unique_lock<std::mutex> &lock) {
    try {
        retired_.reserve(retired_.size() + 1);
    } catch (...) {
        FreeSnapshot(next);
        throw;
    }
    Snapshot *old = current_.exchange(next, std::memory_order_seq_cst);
    if (old != nullptr) retired_.push_back(old);
    if (CallerIsReading()) return;  // a callback editing the list: reclaim later, never wait for ourselves

    std::vector<Snapshot *> reclaim;
    reclaim.swap(retired_);
    // Wait outside the lock, so a listener callback that adds or removes listeners meanwhile cannot
    // deadlock against us.
    lock.unlock();
    for (int flip = 0; flip < 2; ++flip) {
        const unsigned parity = epoch_.fetch_add(1, std::memory_order_seq_cst) & 1u;
        while (readers_[parity].load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }
    for (Snapshot *snapshot : reclaim) FreeSnapshot(snapshot);
}

void AUPropertyListeners::Notify(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element) const noexcept {
    const unsigned parity = epoch_.load(std::memory_order_seq_cst) & 1u;
    readers_[parity].fetch_add(1, std::memory_order_seq_cst);
    const ReadingRecord record{this, tReading};
    tReading = &record;
    if (const Snapshot *snapshot = current_.load(std::memory_order_seq_cst)) {
        for (size_t i = 0; i < snapshot->count; ++i) {
            const Entry &entry = snapshot->entries[i];
            if (entry.id == id && entry.live.load(std::memory_order_acquire))
                entry.proc(entry.refCon, unit, id, scope, element);
        }
    }
    tReading = record.outer;
    readers_[parity].fetch_sub(1, std::memory_order_seq_cst);
}

// The sample buffers of one I/O element: an AudioBufferList record and the memory it points into.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <cstddef>

// The record can point into the list's own memory (16-byte aligned, one buffer per stream spaced
// by a 16-byte multiple), into memory owned elsewhere (the caller's buffers, another element's),
// or be invalid until it is prepared again.
//
// Threads: Allocate, Deallocate and UseExternalBuffer run on host threads while the instance is
// not rendering (they are refused or not reached while initialized, except the allocation that
// Initialize itself performs); every other operation runs on the render thread and is noexcept,
// allocation-free, and reports failures as statuses.
class AUBufferList {
public:
    enum PtrState { kPtrsInvalid = 0, kPtrsToMyMemory = 1, kPtrsToExternalMemory = 2 };

    AUBufferList() = default;
    ~AUBufferList();
    AUBufferList(const AUBufferList &) = delete;
    AUBufferList &operator=(const AUBufferList &) = delete;

    // Stream count: one buffer per channel for a non-interleaved format, else one.
    static UInt32 StreamCount(const AudioStreamBasicDescription &format) noexcept;
    static UInt32 ChannelsPerBuffer(const AudioStreamBasicDescription &format) noexcept;

    // Makes room for `frames` frames of every stream. Memory never shrinks. Throws std::bad_alloc
    // when the memory cannot be had (or its size does not fit the 32-bit counters).
    void Allocate(const AudioStreamBasicDescription &format, UInt32 frames);
    void Deallocate() noexcept;
    // Lets the host's block (16-byte aligned) serve as sample memory when it is large enough.
    void UseExternalBuffer(const AudioStreamBasicDescription &format, const AudioUnitExternalBuffer &buffer);

    // Points the record into the own memory for `frames` frames. Statuses:
    // kAudioUnitErr_TooManyFramesToProcess, kAudioUnitErr_FormatNotSupported.
    OSStatus PrepareBuffer(const AudioStreamBasicDescription &format, UInt32 frames, AudioBufferList *&outList) noexcept;
    // The same counting, with null data pointers for a source to fill in.
    OSStatus PrepareNullBuffer(const AudioStreamBasicDescription &format, UInt32 frames, AudioBufferList *&outList) noexcept;
    // Points the record at someone else's buffers; -1 when the record cannot hold them.
    OSStatus SetBufferList(const AudioBufferList &list) noexcept;
    // The prepared record; -1 while invalid.
    OSStatus GetBufferList(AudioBufferList *&outList) noexcept;
    // Moves the record's samples into `destination` and invalidates the record; -1 while invalid.
    OSStatus CopyBufferContentsTo(AudioBufferList &destination) noexcept;
    void InvalidateBufferList() noexcept { ptrState_ = kPtrsInvalid; }

    PtrState GetPtrState() const noexcept { return ptrState_; }
    bool HasExternalMemory() const noexcept { return externalMemory_; }
    bool HasSampleMemory() const noexcept { return memory_ != nullptr; }
    const Byte *SampleMemory() const noexcept { return memory_; }
    UInt32 GetAllocatedStreams() const noexcept { return allocatedStreams_; }
    UInt32 GetAllocatedFrames() const noexcept { return allocatedFrames_; }
    UInt32 GetAllocatedBytes() const noexcept { return allocatedBytes_; }

private:
    UInt32 Stride(const AudioStreamBasicDescription &format) const noexcept;
    OSStatus Prepare(const AudioStreamBasicDescription &format, UInt32 frames, bool nullData) noexcept;
    void ReleaseOwnMemory() noexcept;

    PtrState ptrState_ = kPtrsInvalid;
    bool externalMemory_ = false;
    AudioBufferList *list_ = nullptr;  // room for allocatedStreams_ buffers
    Byte *memory_ = nullptr;
    UInt32 allocatedStreams_ = 0;
    UInt32 allocatedFrames_ = 0;
    UInt32 allocatedBytes_ = 0;
};

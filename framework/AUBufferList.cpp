#include "framework/AUBufferList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::align_val_t kSampleAlignment{16};

constexpr size_t RecordBytes(UInt32 streams) {
    return offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * std::max<UInt32>(streams, 1);
}

// A buffer's stride: its frames' bytes rounded up to 16, so every buffer starts 16-byte aligned.
constexpr uint64_t RoundedStride(uint64_t bytesPerFrame, uint64_t frames) {
    return (bytesPerFrame * frames + 15) & ~uint64_t{15};
}

}  // namespace

AUBufferList::~AUBufferList() {
    ReleaseOwnMemory();
    std::free(list_);
}

UInt32 AUBufferList::StreamCount(const AudioStreamBasicDescription &format) noexcept {
    const bool nonInterleaved = format.mFormatID == kAudioFormatLinearPCM &&
                                (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
    return nonInterleaved ? format.mChannelsPerFrame : 1;
}

UInt32 AUBufferList::ChannelsPerBuffer(const AudioStreamBasicDescription &format) noexcept {
    return (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0 ? 1 : format.mChannelsPerFrame;
}

UInt32 AUBufferList::Stride(const AudioStreamBasicDescription &format) const noexcept {
    return static_cast<UInt32>(RoundedStride(format.mBytesPerFrame, allocatedFrames_));
}

void AUBufferList::ReleaseOwnMemory() noexcept {
    if (memory_ != nullptr && !externalMemory_) ::operator delete(memory_, kSampleAlignment);
    memory_ = nullptr;
    externalMemory_ = false;
}

void AUBufferList::Allocate(const AudioStreamBasicDescription &format, UInt32 frames) {
    const UInt32 streams = StreamCount(format);
    if (streams > allocatedStreams_ || list_ == nullptr) {
        auto *grown = static_cast<AudioBufferList *>(std::calloc(1, RecordBytes(streams)));
        if (grown == nullptr) throw std::bad_alloc();
        std::free(list_);
        list_ = grown;
        allocatedStreams_ = streams;
    }
    // The counters are 32-bit: a size beyond them cannot be described, so it counts as out of memory.
    const uint64_t needed = RoundedStride(format.mBytesPerFrame, frames) * streams;
    if (needed > UINT32_MAX) throw std::bad_alloc();
    if (needed > allocatedBytes_) {
        auto *grown = static_cast<Byte *>(::operator new(needed, kSampleAlignment));
        ReleaseOwnMemory();  // external memory is only forgotten; it belongs to the host
        memory_ = grown;
        allocatedBytes_ = static_cast<UInt32>(needed);
    }
    allocatedFrames_ = frames;
    ptrState_ = kPtrsInvalid;
}

void AUBufferList::Deallocate() noexcept {
    ReleaseOwnMemory();
    allocatedBytes_ = 0;
    allocatedFrames_ = 0;
    ptrState_ = kPtrsInvalid;
}

void AUBufferList::UseExternalBuffer(const AudioStreamBasicDescription &format, const AudioUnitExternalBuffer &buffer) {
    if (memory_ == nullptr) return;
    const UInt32 usable = buffer.size & ~UInt32{15};
    const UInt32 streams = StreamCount(format);
    if (allocatedBytes_ > usable || streams == 0 || format.mBytesPerFrame == 0) return;
    ReleaseOwnMemory();
    memory_ = buffer.buffer;
    externalMemory_ = true;
    allocatedBytes_ = usable;
    // As many frames as fit each stream's share rounded down to 16 bytes: every buffer then
    // starts aligned and the rounded-up stride still fits the block (dividing the block by the
    // frame size alone could round the stride past it and refuse every render).
    allocatedFrames_ = ((usable / streams) & ~UInt32{15}) / format.mBytesPerFrame;
    ptrState_ = kPtrsInvalid;
}

OSStatus AUBufferList::Prepare(const AudioStreamBasicDescription &format, UInt32 frames, bool nullData) noexcept {
    const UInt32 streams = StreamCount(format);
    // Buffers handed out by a source need no room here; only buffers over the own memory are
    // limited by the frames allocated (a null-pointer list is filled in by the source itself).
    if (!nullData && frames > allocatedFrames_) return kAudioUnitErr_TooManyFramesToProcess;
    if (streams > allocatedStreams_ || list_ == nullptr) return kAudioUnitErr_FormatNotSupported;
    const uint64_t stride = Stride(format);
    if (!nullData && stride * streams > allocatedBytes_) return kAudioUnitErr_TooManyFramesToProcess;
    const UInt32 channels = ChannelsPerBuffer(format);
    const UInt32 byteSize = frames * format.mBytesPerFrame;
    list_->mNumberBuffers = streams;
    for (UInt32 i = 0; i < streams; ++i) {
        AudioBuffer &buffer = list_->mBuffers[i];
        buffer.mNumberChannels = channels;
        buffer.mDataByteSize = byteSize;
        buffer.mData = nullData ? nullptr : memory_ + i * stride;
    }
    ptrState_ = nullData ? kPtrsToExternalMemory : kPtrsToMyMemory;
    return noErr;
}

OSStatus AUBufferList::PrepareBuffer(const AudioStreamBasicDescription &format, UInt32 frames,
                                     AudioBufferList *&outList) noexcept {
    const OSStatus status = Prepare(format, frames, false);
    outList = status == noErr ? list_ : nullptr;
    return status;
}

OSStatus AUBufferList::PrepareNullBuffer(const AudioStreamBasicDescription &format, UInt32 frames,
                                         AudioBufferList *&outList) noexcept {
    const OSStatus status = Prepare(format, frames, true);
    outList = status == noErr ? list_ : nullptr;
    return status;
}

OSStatus AUBufferList::SetBufferList(const AudioBufferList &list) noexcept {
    if (list_ == nullptr || list.mNumberBuffers > allocatedStreams_) return -1;
    list_->mNumberBuffers = list.mNumberBuffers;
    std::memcpy(list_->mBuffers, list.mBuffers, sizeof(AudioBuffer) * list.mNumberBuffers);
    ptrState_ = kPtrsToExternalMemory;
    return noErr;
}

OSStatus AUBufferList::GetBufferList(AudioBufferList *&outList) noexcept {
    outList = ptrState_ == kPtrsInvalid ? nullptr : list_;
    return outList == nullptr ? -1 : noErr;
}

OSStatus AUBufferList::CopyBufferContentsTo(AudioBufferList &destination) noexcept {
    if (ptrState_ == kPtrsInvalid || list_->mNumberBuffers == 0) return -1;
    for (UInt32 i = 0; i < destination.mNumberBuffers; ++i) {
        const AudioBuffer &source = list_->mBuffers[std::min(i, list_->mNumberBuffers - 1)];
        AudioBuffer &target = destination.mBuffers[i];
        if (target.mData == nullptr) {
            // The caller left this buffer to us: hand it the samples where they are.
            target.mData = source.mData;
            target.mDataByteSize = source.mDataByteSize;
        } else if (target.mData != source.mData) {
            // Never write past the caller's buffer, whatever the source claims to hold.
            const UInt32 bytes = std::min(source.mDataByteSize, target.mDataByteSize);
            if (source.mData != nullptr) std::memmove(target.mData, source.mData, bytes);
            target.mDataByteSize = bytes;
        } else {
            target.mDataByteSize = std::min(source.mDataByteSize, target.mDataByteSize);
        }
    }
    ptrState_ = kPtrsInvalid;
    return noErr;
}

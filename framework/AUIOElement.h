// The elements of the input and output scopes: a stream format and the bus's sample buffers.
#pragma once

#include "framework/AUBufferList.h"
#include "framework/AUElement.h"

// Threads: the format and the buffer allocation change on host threads while the instance is not
// initialized; the render thread reads the format and prepares the buffers.
class AUIOElement : public AUElement {
public:
    explicit AUIOElement(AUBase &owner);

    const AudioStreamBasicDescription &GetStreamFormat() const { return streamFormat_; }
    virtual OSStatus SetStreamFormat(const AudioStreamBasicDescription &format);
    // Sizes the buffers for `frames` frames (0: the owner's maximum frames per slice). Does nothing
    // until the owner has begun initializing; owns memory only when it allocates its own buffer
    // and NeedsBufferSpace answers true.
    virtual void AllocateBuffer(UInt32 frames = 0);
    virtual bool NeedsBufferSpace() const = 0;
    virtual UInt32 GetChannelLayoutTags(AudioChannelLayoutTag *outTags);
    // The layout's size in bytes (0: none offered).
    virtual UInt32 GetAudioChannelLayout(AudioChannelLayout *outLayout, Boolean &outWritable);
    virtual OSStatus SetAudioChannelLayout(const AudioChannelLayout &layout);
    virtual OSStatus RemoveAudioChannelLayout();

    void DeallocateBuffer() noexcept { ioBuffer_.Deallocate(); }
    bool WillAllocateBuffer() const { return willAllocate_; }
    void SetWillAllocateBuffer(bool flag) { willAllocate_ = flag; }
    UInt32 NumberChannels() const { return streamFormat_.mChannelsPerFrame; }

    AUBufferList &IOBuffer() noexcept { return ioBuffer_; }
    // Render thread: the record prepared over the own memory for `frames` frames.
    OSStatus PrepareBuffer(UInt32 frames, AudioBufferList *&outList) noexcept {
        return ioBuffer_.PrepareBuffer(streamFormat_, frames, outList);
    }
    OSStatus PrepareNullBuffer(UInt32 frames, AudioBufferList *&outList) noexcept {
        return ioBuffer_.PrepareNullBuffer(streamFormat_, frames, outList);
    }

    // The canonical format: 44100 Hz, 32-bit float, packed, non-interleaved, two channels.
    static AudioStreamBasicDescription DefaultFormat();

protected:
    AudioStreamBasicDescription streamFormat_;
    AUBufferList ioBuffer_;
    bool willAllocate_ = true;
};

// Where an input element's samples come from.
class AUInputElement : public AUIOElement {
public:
    enum InputType { kNoInput = 0, kFromConnection = 1, kFromCallback = 2 };

    explicit AUInputElement(AUBase &owner) : AUIOElement(owner) {}

    OSStatus SetStreamFormat(const AudioStreamBasicDescription &format) override;
    bool NeedsBufferSpace() const override { return inputType_ == kFromCallback; }

    void SetConnection(const AudioUnitConnection &connection);
    void SetInputCallback(AURenderCallback proc, void *refCon);
    // Host thread: the source's direct render entry fetched after SetConnection (nullptr: use
    // AudioUnitRender on the source unit).
    void SetConnectionRenderProc(AudioUnitRenderProc proc, void *storage) {
        connRenderProc_ = proc;
        connInstanceStorage_ = storage;
    }

    InputType GetInputType() const { return inputType_; }
    bool IsActive() const { return inputType_ != kNoInput; }
    bool IsCallback() const { return inputType_ == kFromCallback; }
    const AudioUnitConnection &GetConnection() const { return connection_; }

    // Render thread: fills the input buffers for `frames` frames from the callback or the source.
    OSStatus PullInput(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp,
                       AudioUnitElement element, UInt32 frames) noexcept;

private:
    InputType inputType_ = kNoInput;
    AURenderCallback inputProc_ = nullptr;
    void *inputRefCon_ = nullptr;
    AudioUnitConnection connection_{};
    AudioUnitRenderProc connRenderProc_ = nullptr;
    void *connInstanceStorage_ = nullptr;
};

class AUOutputElement : public AUIOElement {
public:
    explicit AUOutputElement(AUBase &owner) : AUIOElement(owner) {}

    OSStatus SetStreamFormat(const AudioStreamBasicDescription &format) override;
    bool NeedsBufferSpace() const override { return true; }
};

#include "framework/AUIOElement.h"

#include "framework/AUBase.h"

AudioStreamBasicDescription AUIOElement::DefaultFormat() {
    AudioStreamBasicDescription format{};
    format.mSampleRate = 44100.0;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = 2;
    format.mBitsPerChannel = 32;
    format.mReserved = 0;
    return format;
}

AUIOElement::AUIOElement(AUBase &owner) : AUElement(owner), streamFormat_(DefaultFormat()) {}

OSStatus AUIOElement::SetStreamFormat(const AudioStreamBasicDescription &format) {
    streamFormat_ = format;
    return noErr;
}

void AUIOElement::AllocateBuffer(UInt32 frames) {
    AUBase &owner = GetOwner();
    if (!owner.HasBegunInitializing()) return;
    if (frames == 0) frames = owner.GetMaxFramesPerSlice();
    ioBuffer_.Allocate(streamFormat_, willAllocate_ && NeedsBufferSpace() ? frames : 0);
}

UInt32 AUIOElement::GetChannelLayoutTags(AudioChannelLayoutTag *) { return 0; }

UInt32 AUIOElement::GetAudioChannelLayout(AudioChannelLayout *, Boolean &outWritable) {
    outWritable = false;
    return 0;
}

OSStatus AUIOElement::SetAudioChannelLayout(const AudioChannelLayout &) { return kAudioUnitErr_InvalidProperty; }

OSStatus AUIOElement::RemoveAudioChannelLayout() { return kAudioUnitErr_InvalidPropertyValue; }

OSStatus AUInputElement::SetStreamFormat(const AudioStreamBasicDescription &format) {
    const OSStatus status = AUIOElement::SetStreamFormat(format);
    if (status == noErr) AllocateBuffer();
    return status;
}

void AUInputElement::SetConnection(const AudioUnitConnection &connection) {
    connRenderProc_ = nullptr;
    connInstanceStorage_ = nullptr;
    if (connection.sourceAudioUnit == nullptr) {
        inputType_ = kNoInput;
        connection_ = AudioUnitConnection{};
        ioBuffer_.Deallocate();
        return;
    }
    inputType_ = kFromConnection;
    connection_ = connection;
    AllocateBuffer();
}

void AUInputElement::SetInputCallback(AURenderCallback proc, void *refCon) {
    if (proc == nullptr) {
        inputType_ = kNoInput;
        inputProc_ = nullptr;
        inputRefCon_ = nullptr;
        ioBuffer_.Deallocate();
        return;
    }
    inputType_ = kFromCallback;
    inputProc_ = proc;
    inputRefCon_ = refCon;
    AllocateBuffer();
}

OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp,
                                   AudioUnitElement element, UInt32 frames) noexcept {
    if (inputType_ == kNoInput) return kAudioUnitErr_NoConnection;
    AudioBufferList *list = nullptr;
    const bool sourceFillsPointers = inputType_ == kFromConnection || !willAllocate_;
    OSStatus status = sourceFillsPointers ? PrepareNullBuffer(frames, list) : PrepareBuffer(frames, list);
    if (status != noErr) return status;
    const UInt32 streams = list->mNumberBuffers;
    if (inputType_ == kFromCallback) {
        status = inputProc_(inputRefCon_, &ioActionFlags, &timeStamp, element, frames, list);
    } else if (connRenderProc_ != nullptr) {
        status = connRenderProc_(connInstanceStorage_, &ioActionFlags, &timeStamp, connection_.sourceOutputNumber,
                                 frames, list);
    } else {
        status = AudioUnitRender(connection_.sourceAudioUnit, &ioActionFlags, &timeStamp,
                                 connection_.sourceOutputNumber, frames, list);
    }
    if (status != noErr) return status;
    // The effect reads every buffer for every frame: a source that left a buffer without samples,
    // short, or changed the buffer count would have it read memory that is not there.
    if (list->mNumberBuffers != streams) return paramErr;
    const UInt32 bytes = frames * streamFormat_.mBytesPerFrame;
    for (UInt32 i = 0; i < streams && bytes > 0; ++i)
        if (list->mBuffers[i].mData == nullptr || list->mBuffers[i].mDataByteSize < bytes) return paramErr;
    return noErr;
}

OSStatus AUOutputElement::SetStreamFormat(const AudioStreamBasicDescription &format) {
    const OSStatus status = AUIOElement::SetStreamFormat(format);
    if (status == noErr) AllocateBuffer();
    return status;
}

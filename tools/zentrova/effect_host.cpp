#include "effect_host.h"

#include "cli_errors.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace zentrova_cli {

void check_status(int status, const std::string &what) {
    if (status != noErr) throw internal_error(what + " failed with status " + std::to_string(status));
}

const char *unit_name(AudioUnitParameterUnit unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Generic: return "generic";
    case kAudioUnitParameterUnit_Indexed: return "indexed";
    case kAudioUnitParameterUnit_Decibels: return "dB";
    case kAudioUnitParameterUnit_LinearGain: return "linear gain";
    case kAudioUnitParameterUnit_Milliseconds: return "ms";
    case kAudioUnitParameterUnit_Seconds: return "s";
    case kAudioUnitParameterUnit_Hertz: return "Hz";
    case kAudioUnitParameterUnit_Percent: return "%";
    default: return "?";
    }
}

std::string to_std_string(CFStringRef text) {
    if (text == nullptr) return {};
    if (const char *direct = CFStringGetCStringPtr(text, kCFStringEncodingUTF8)) return direct;
    std::string buffer(
        static_cast<std::size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8)) + 1,
        '\0');
    if (!CFStringGetCString(text, buffer.data(), static_cast<CFIndex>(buffer.size()), kCFStringEncodingUTF8)) return {};
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

namespace {

bool is_zentrova(AudioComponent component, bool keyed) {
    CFStringRef name = nullptr;
    if (AudioComponentCopyName(component, &name) != noErr || name == nullptr) return false;
    const std::string text = to_std_string(name);
    CFRelease(name);
    return text.find("Zentrova") != std::string::npos && (text.find("Keyed") != std::string::npos) == keyed;
}

AudioComponent find_in_registry(bool keyed) {
    AudioComponentDescription wanted{kAudioUnitType_Effect, 0, 0, 0, 0};
    for (AudioComponent c = AudioComponentFindNext(nullptr, &wanted); c; c = AudioComponentFindNext(c, &wanted))
        if (is_zentrova(c, keyed)) return c;
    return nullptr;
}

// The bundle beside the executable: build/bin/zentrova next to build/Zentrova.component, or an
// installed bin/zentrova next to lib/audio-components/Zentrova.component.
AudioComponent register_bundle_beside_executable() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return nullptr;
    self[length] = '\0';
    const std::filesystem::path prefix = std::filesystem::path(self).parent_path().parent_path();
    for (const auto &candidate : {prefix / "Zentrova.component", prefix / "lib/audio-components/Zentrova.component"}) {
        std::error_code ignored;
        if (!std::filesystem::is_directory(candidate, ignored)) continue;
        AudioComponent component = nullptr;
        if (AudioComponentRegisterBundle(candidate.c_str(), &component) == noErr && component) return component;
    }
    return nullptr;
}

// The bundle registered, its components are in the registry.
AudioComponent find(bool keyed) {
    if (AudioComponent component = find_in_registry(keyed)) return component;
    if (register_bundle_beside_executable() == nullptr) return nullptr;
    return find_in_registry(keyed);
}

}  // namespace

effect_host::effect_host(bool keyed) {
    AudioComponent component = find(keyed);
    if (component == nullptr)
        throw user_error("cannot find the Zentrova component: build it (make) or point AUDIO_COMPONENT_PATH at the "
                         "folder that holds Zentrova.component");
    CFStringRef name = nullptr;
    if (AudioComponentCopyName(component, &name) == noErr && name) {
        _component_name = to_std_string(name);
        CFRelease(name);
    }
    check_status(AudioComponentInstanceNew(component, &_unit), "opening the Zentrova instance");
    read_parameters();
}

effect_host::~effect_host() {
    if (_unit) {
        AudioUnitUninitialize(_unit);
        AudioComponentInstanceDispose(_unit);
    }
}

void effect_host::read_parameters() {
    UInt32 size = 0;
    Boolean writable = false;
    check_status(AudioUnitGetPropertyInfo(_unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                          &writable),
                 "reading the parameter list size");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty())
        check_status(AudioUnitGetProperty(_unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                          ids.data(), &size),
                     "reading the parameter list");
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info{};
        UInt32 info_size = sizeof info;
        check_status(AudioUnitGetProperty(_unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info,
                                          &info_size),
                     "reading the information of parameter " + std::to_string(id));
        parameter_description p;
        p.id = id;
        p.name = (info.flags & kAudioUnitParameterFlag_HasCFNameString) ? to_std_string(info.cfNameString)
                                                                         : std::string(info.name);
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
        p.unit = info.unit;
        p.minimum = info.minValue;
        p.maximum = info.maxValue;
        p.default_value = info.defaultValue;
        if (info.unit == kAudioUnitParameterUnit_Indexed) {
            CFArrayRef strings = nullptr;
            UInt32 strings_size = sizeof strings;
            if (AudioUnitGetProperty(_unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id,
                                     &strings, &strings_size) == noErr && strings) {
                for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
                    p.value_strings.push_back(to_std_string(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
                CFRelease(strings);
            }
        }
        _parameters.push_back(std::move(p));
    }
}

void effect_host::configure(double sample_rate, unsigned channels, unsigned max_frames) {
    _channels = channels;
    _sample_rate = sample_rate;
    AudioStreamBasicDescription format{};
    format.mSampleRate = sample_rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const OSStatus status =
            AudioUnitSetProperty(_unit, kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format);
        if (status == kAudioUnitErr_FormatNotSupported)
            throw user_error("Zentrova does not accept a sample rate of " + std::to_string(sample_rate) + " Hz");
        check_status(status, "setting the stream format");
    }
    UInt32 frames = max_frames;
    check_status(AudioUnitSetProperty(_unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                      &frames, sizeof frames),
                 "setting the maximum frames per render");
    AURenderCallbackStruct callback{&effect_host::supply_input, this};
    check_status(AudioUnitSetProperty(_unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                      sizeof callback),
                 "installing the input callback");
}

void effect_host::configure_key(unsigned channels) {
    _key_channels = channels;
    AudioStreamBasicDescription format{};
    format.mSampleRate = _sample_rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    check_status(AudioUnitSetProperty(_unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1, &format,
                                      sizeof format),
                 "setting the key's stream format");
    AURenderCallbackStruct callback{&effect_host::supply_input, this};
    check_status(AudioUnitSetProperty(_unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &callback,
                                      sizeof callback),
                 "installing the key's callback");
}

void effect_host::set_parameter(AudioUnitParameterID id, float value) {
    const AudioUnitParameter parameter{_unit, id, kAudioUnitScope_Global, 0};
    check_status(AUParameterSet(nullptr, nullptr, &parameter, value, 0), "setting parameter " + std::to_string(id));
    deliver_pending_events();
}

float effect_host::parameter(AudioUnitParameterID id) const {
    AudioUnitParameterValue value = 0;
    check_status(AudioUnitGetParameter(_unit, id, kAudioUnitScope_Global, 0, &value),
                 "reading parameter " + std::to_string(id));
    return value;
}

void effect_host::restore_state(CFPropertyListRef state) {
    const OSStatus status =
        AudioUnitSetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
    if (status == kAudioUnitErr_InvalidPropertyValue || status == kAudioUnitErr_InvalidParameter ||
        status == kAudioUnitErr_InvalidScope)
        throw user_error("it is not a Zentrova preset (status " + std::to_string(status) + ")");
    check_status(status, "restoring the preset");
}

CFPropertyListRef effect_host::copy_state() const {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    check_status(AudioUnitGetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
                 "reading the effect's state");
    return state;
}

void effect_host::set_preset_name(const std::string &name) {
    CFStringRef text = CFStringCreateWithCString(kCFAllocatorDefault, name.c_str(), kCFStringEncodingUTF8);
    if (text == nullptr) throw user_error("the preset name is not valid UTF-8");
    AUPreset preset{-1, text};
    const OSStatus status =
        AudioUnitSetProperty(_unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &preset, sizeof preset);
    CFRelease(text);
    check_status(status, "naming the preset");
}

void effect_host::initialize() {
    check_status(AudioUnitInitialize(_unit), "initializing Zentrova");
    deliver_pending_events();
}

void effect_host::deliver_pending_events() {
    while (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) == kCFRunLoopRunHandledSource) {
    }
}

// Bus 0 is the main input, bus 1 the key.
OSStatus effect_host::supply_input(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32 bus,
                                   UInt32 frames, AudioBufferList *data) {
    auto *host = static_cast<effect_host *>(self);
    const float *const *sources = bus == 1 ? host->_current_key : host->_current_input;
    const unsigned channels = bus == 1 ? host->_key_channels : host->_channels;
    if (sources == nullptr || channels == 0) return kAudioUnitErr_NoConnection;
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        const float *source = sources[b < channels ? b : channels - 1];
        AudioBuffer &buffer = data->mBuffers[b];
        if (buffer.mData == nullptr)
            buffer.mData = const_cast<float *>(source);  // the unit lends us its pointers: give ours
        else
            std::memcpy(buffer.mData, source, frames * sizeof(float));
        buffer.mDataByteSize = frames * sizeof(float);
    }
    return noErr;
}

void effect_host::render(const float *const *input, float *const *output, unsigned frames,
                         const float *const *key) {
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } list{};
    static_assert(offsetof(decltype(list), mBuffers) == offsetof(AudioBufferList, mBuffers));
    list.mNumberBuffers = _channels;
    for (unsigned c = 0; c < _channels; ++c) list.mBuffers[c] = {1, frames * 4u, output[c]};
    _current_input = input;
    _current_key = key;

    AudioTimeStamp time{};
    time.mSampleTime = _sample_time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    check_status(AudioUnitRender(_unit, &flags, &time, 0, frames, reinterpret_cast<AudioBufferList *>(&list)),
                 "rendering");
    // The unit may answer with pointers into its own memory rather than filling ours.
    for (unsigned c = 0; c < _channels; ++c)
        if (list.mBuffers[c].mData != output[c]) std::memcpy(output[c], list.mBuffers[c].mData, frames * sizeof(float));
    _sample_time += frames;
}

}  // namespace zentrova_cli

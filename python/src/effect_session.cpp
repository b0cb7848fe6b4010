#include "effect_session.h"

#include "cli_errors.h"
#include "preset_files.h"

#include "host/events.h"
#include "zentrova_ids.h"

#include <algorithm>

namespace zentrova_python {

using zentrova_cli::user_error;

namespace {

// The command line's smallest render maximum, kept so that a block size renders identically here
// and there.
constexpr unsigned k_min_max_frames = 1156;

struct cf_owner {
    CFTypeRef object;
    ~cf_owner() {
        if (object) CFRelease(object);
    }
};

}  // namespace

effect_session::effect_session(AudioComponent component, double sample_rate, unsigned channels, unsigned key_channels)
    : _host(component), _sample_rate(sample_rate), _channels(channels), _key_channels(key_channels) {
    _host.configure(sample_rate, channels, k_min_max_frames);
    if (key_channels > 0) _host.configure_key(key_channels);
    _max_frames = k_min_max_frames;
}

effect_session::~effect_session() = default;

void effect_session::set(AudioUnitParameterID id, float value) { _host.set_parameter(id, value); }

float effect_session::get(AudioUnitParameterID id) const { return _host.parameter(id); }

double effect_session::level() const {
    Float64 level = 0;
    UInt32 size = sizeof level;
    zentrova_cli::check_status(AudioUnitGetProperty(_host.unit(), zentrova::k_follower_level_property,
                                                    kAudioUnitScope_Global, 0, &level, &size),
                               "reading the follower's level");
    return level;
}

void effect_session::announce_all() {
    // A restored state writes the values silently; the listener must hear of each to apply it.
    for (const auto &p : parameters()) host::announce_parameter(_host.unit(), p.id);
    _host.deliver_pending_events();
}

void effect_session::restore(CFPropertyListRef state, const std::string &source) {
    cf_owner before{_host.copy_state()};
    try {
        zentrova_cli::restore_checked_state(_host, state, source);
    } catch (...) {
        // The refused state may have written some values already: put the old ones back.
        _host.restore_state(before.object);
        announce_all();
        throw;
    }
    announce_all();
}

void effect_session::load_preset(const std::filesystem::path &path) {
    cf_owner state{zentrova_cli::read_preset_file(path)};
    restore(state.object, "preset \"" + path.string() + "\"");
}

void effect_session::save_preset(const std::filesystem::path &path, const std::string &name) {
    _host.set_preset_name(name);
    cf_owner state{_host.copy_state()};
    zentrova_cli::write_preset_file(path, state.object, true);
}

std::string effect_session::state() {
    cf_owner state{_host.copy_state()};
    CFErrorRef error = nullptr;
    cf_owner data{
        CFPropertyListCreateData(kCFAllocatorDefault, state.object, kCFPropertyListXMLFormat_v1_0, 0, &error)};
    if (error) CFRelease(error);
    if (data.object == nullptr) throw zentrova_cli::internal_error("cannot serialise the effect's state");
    const auto bytes = static_cast<CFDataRef>(data.object);
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(bytes)),
                       static_cast<std::size_t>(CFDataGetLength(bytes)));
}

void effect_session::set_state(const std::string &bytes) {
    cf_owner data{CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(bytes.data()),
                               static_cast<CFIndex>(bytes.size()))};
    CFErrorRef error = nullptr;
    cf_owner state{CFPropertyListCreateWithData(kCFAllocatorDefault, static_cast<CFDataRef>(data.object),
                                                kCFPropertyListImmutable, nullptr, &error)};
    if (error) CFRelease(error);
    if (state.object == nullptr || CFGetTypeID(state.object) != CFDictionaryGetTypeID())
        throw user_error("the state is not a property-list dictionary");
    restore(state.object, "the state");
}

void effect_session::start_stream(unsigned block, const std::vector<host::automation> &lanes) {
    // As the command line starts a file: the render maximum fitted to the block, the automation at
    // its start, then initialization, which hands every stored value to the effect.
    if (block > _max_frames) {
        _host.configure(_sample_rate, _channels, block);
        if (_key_channels > 0) _host.configure_key(_key_channels);
        _max_frames = block;
    }
    for (const auto &lane : lanes) _host.set_parameter(lane.id, lane.value_at(0.0));
    _host.initialize();
    _in.assign(std::size_t{_max_frames} * _channels, 0.0f);
    _out.assign(std::size_t{_max_frames} * _channels, 0.0f);
    _key.assign(std::size_t{_max_frames} * _key_channels, 0.0f);
    _started = true;
    _frames_done = 0;
}

namespace {

// Frames [done, done + n) of `from`'s channels into `to`, as float.
void read_block(const strided_samples &from, unsigned channels, std::size_t done, unsigned n, float *const *to) {
    for (unsigned c = 0; c < channels; ++c) {
        const char *at = from.data + c * from.channel_stride + static_cast<std::ptrdiff_t>(done) * from.frame_stride;
        if (from.is_double)
            for (unsigned i = 0; i < n; ++i)
                to[c][i] = static_cast<float>(*reinterpret_cast<const double *>(at + i * from.frame_stride));
        else
            for (unsigned i = 0; i < n; ++i) to[c][i] = *reinterpret_cast<const float *>(at + i * from.frame_stride);
    }
}

}  // namespace

void effect_session::process(const strided_samples &input, const strided_samples &output, const strided_samples *key,
                             std::size_t frames, unsigned block, bool reset,
                             const std::vector<host::automation> &lanes) {
    if (reset && _started) {
        zentrova_cli::check_status(AudioUnitReset(_host.unit(), kAudioUnitScope_Global, 0), "resetting the effect");
        _host.deliver_pending_events();
        _frames_done = 0;
    }
    if (!_started) start_stream(block, lanes);
    // A stream started with a smaller block keeps its render maximum: larger blocks are split.
    const unsigned step = std::min(block, _max_frames);
    float *in[2] = {_in.data(), _in.data() + (_channels > 1 ? _max_frames : 0)};
    float *out[2] = {_out.data(), _out.data() + (_channels > 1 ? _max_frames : 0)};
    float *key_block[2] = {_key.data(), _key.data() + (_key_channels > 1 ? _max_frames : 0)};
    for (std::size_t done = 0; done < frames;) {
        const unsigned n = static_cast<unsigned>(std::min<std::size_t>(step, frames - done));
        read_block(input, _channels, done, n, in);
        if (key != nullptr) read_block(*key, _key_channels, done, n, key_block);
        for (const auto &lane : lanes) _host.set_parameter(lane.id, lane.value_at_frame(_frames_done, _sample_rate));
        _host.render(in, out, n, key != nullptr ? key_block : nullptr);
        for (unsigned c = 0; c < _channels; ++c) {
            char *to = output.data + c * output.channel_stride +
                       static_cast<std::ptrdiff_t>(done) * output.frame_stride;
            for (unsigned i = 0; i < n; ++i) *reinterpret_cast<float *>(to + i * output.frame_stride) = out[c][i];
        }
        done += n;
        _frames_done += n;
    }
}

}  // namespace zentrova_python

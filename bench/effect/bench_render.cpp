// The whole effect through AudioUnitRender, as a host drives it: 48 kHz stereo, the four-stage
// band-pass ladder, Sweep Up retriggered by the input. Reports nanoseconds per frame and the
// real-time factor (seconds of audio per second of one core), beside a pass-through baseline,
// and Zentrova Keyed with a stereo key pulled from its own callback: the key costs a second pull
// per block and nothing per sample but reading other samples, so its time should stay within 5 %
// of the plain effect's in the same run (--benchmark_enable_random_interleaving evens out a busy
// machine). The key carries the input's samples, so both sweep alike.
#include "host/component.h"
#include "host/events.h"
#include "host/stream_format.h"

#include <AudioToolbox/AudioToolbox.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double rate = 48000.0;

struct input_signal {
    std::vector<float> left, right;
    std::size_t position = 0;
};

OSStatus supply(void *user, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32 frames,
                AudioBufferList *data) {
    auto *signal = static_cast<input_signal *>(user);
    const std::vector<float> *sources[2] = {&signal->left, &signal->right};
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        const float *from = sources[b % 2]->data() + signal->position;
        if (data->mBuffers[b].mData) std::memcpy(data->mBuffers[b].mData, from, frames * 4);
        else data->mBuffers[b].mData = const_cast<float *>(from);
        data->mBuffers[b].mDataByteSize = frames * 4;
    }
    signal->position = (signal->position + frames) % (signal->left.size() - 4096);
    return noErr;
}

enum class mode { plain, keyed, bypassed };

void render_effect(benchmark::State &state, mode how) {
    const bool bypass = how == mode::bypassed;
    const auto frames = static_cast<UInt32>(state.range(0));
    AudioComponent component = host::find_component(kAudioUnitType_Effect,
                                                    how == mode::keyed ? "Zentrova Keyed" : "Zentrova");
    if (!component) {
        state.SkipWithError("Zentrova component not found (set AUDIO_COMPONENT_PATH to the build folder)");
        return;
    }
    AudioUnit unit = nullptr;
    AudioComponentInstanceNew(component, &unit);
    host::set_float_formats(unit, rate, 2);
    input_signal signal;
    for (int n = 0; n < 4 * 48000; ++n) {
        const double t = n / rate;
        const double pulse = std::exp(-std::fmod(t, 0.25) * 12.0);
        signal.left.push_back(static_cast<float>(0.5 * pulse * std::sin(2 * M_PI * 110 * t)));
        signal.right.push_back(static_cast<float>(0.5 * pulse * std::sin(2 * M_PI * 165 * t)));
    }
    AURenderCallbackStruct callback{supply, &signal};
    AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                         sizeof callback);
    input_signal key = signal;
    if (how == mode::keyed) {
        host::set_float_format(unit, kAudioUnitScope_Input, 1, rate, 2);
        AURenderCallbackStruct key_callback{supply, &key};
        AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &key_callback,
                             sizeof key_callback);
    }
    const std::pair<AudioUnitParameterID, float> settings[] = {
        {0, -12}, {1, 0}, {2, 7}, {3, 1}, {4, 9}, {5, 0}, {6, 0.8f}, {8, 1}, {12, -24}, {13, 40}, {14, 120}};
    for (auto [id, value] : settings) host::set_parameter(unit, id, value);
    UInt32 bypass_flag = bypass;
    AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &bypass_flag,
                         sizeof bypass_flag);
    AudioUnitInitialize(unit);
    host::deliver_pending_events();

    std::vector<float> left(frames), right(frames);
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } list{};
    AudioTimeStamp time{};
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto _ : state) {
        list.mNumberBuffers = 2;
        list.mBuffers[0] = {1, frames * 4, left.data()};
        list.mBuffers[1] = {1, frames * 4, right.data()};
        AudioUnitRenderActionFlags flags = 0;
        if (AudioUnitRender(unit, &flags, &time, 0, frames, reinterpret_cast<AudioBufferList *>(&list)) != noErr) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(left.data());
        time.mSampleTime += frames;
    }
    const double total_frames = static_cast<double>(state.iterations()) * frames;
    state.counters["time_per_frame"] =
        benchmark::Counter(total_frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_x"] = benchmark::Counter(total_frames / rate, benchmark::Counter::kIsRate);
    AudioComponentInstanceDispose(unit);
}

void BM_ZentrovaRender(benchmark::State &state) { render_effect(state, mode::plain); }
void BM_KeyedRender(benchmark::State &state) { render_effect(state, mode::keyed); }
void BM_BypassedRender(benchmark::State &state) { render_effect(state, mode::bypassed); }

}  // namespace

BENCHMARK(BM_ZentrovaRender)->Arg(64)->Arg(512)->UseRealTime();
BENCHMARK(BM_KeyedRender)->Arg(64)->Arg(512)->UseRealTime();
BENCHMARK(BM_BypassedRender)->Arg(64)->Arg(512)->UseRealTime();
BENCHMARK_MAIN();

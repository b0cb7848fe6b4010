// Cost per frame of the ladders (beside a plain biquad) and of the whole per-sample chain at
// 48 kHz: follower -> envelope -> sweep position -> selected ladder, called exactly as the
// effect instance calls it. Counters: per_frame (seconds) and realtime_x (how many times faster than
// real time at 48 kHz on one core).
#include "dsp/HF_AR_Up_Envelope.h"
#include "dsp/HF_Envelope_Gauge.h"
#include "dsp/HF_Formant_Wah_Effect.h"
#include "dsp/HF_LowPass_BiQuad.h"
#include "dsp/HF_Track_Envelope.h"
#include "dsp/simd_path.h"

#include <platform/fp_control.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr double rate = 48000.0;
constexpr double period = 1.0 / rate;
constexpr std::size_t signal_length = 4096;

// A voice-like input: sawtooth with a swell plus noise, so saturators, triggers and the
// follower all work as on real material.
const std::vector<double> &input(int channel) {
    static const std::vector<double> signals[2] = {[] {
        std::vector<double> v(signal_length);
        std::uint32_t s = 12345;
        for (std::size_t i = 0; i < v.size(); ++i) {
            s = s * 1664525u + 1013904223u;
            const double t = i / rate;
            v[i] = 0.8 * (0.5 + 0.5 * std::sin(2 * std::numbers::pi * 3 * t)) * 2 * (t * 110 - std::floor(t * 110 + 0.5)) +
                   ((s >> 8) / 16777216.0 - 0.5) * 0.1;
        }
        return v;
    }(), [] {
        std::vector<double> v(signal_length);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = 0.6 * std::sin(2 * std::numbers::pi * 220.0 * i / rate);
        return v;
    }()};
    return signals[channel];
}

void report(benchmark::State &state) {
    const double frames = static_cast<double>(state.iterations()) * signal_length;
    // Seconds per frame (printed with an SI prefix, e.g. "26n" = 26 ns).
    state.counters["per_frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    // Seconds of 48 kHz audio per second of processing; the library prints it with a "/s".
    state.counters["realtime_x"] = benchmark::Counter(frames / rate, benchmark::Counter::kIsRate);
}

// The classes of one channel count. Each benchmark below is written once over it and
// registered under its _mono and _stereo names; the loop bodies are those of the separate
// mono and stereo benchmarks they replace, so their figures stay comparable.
template <int Channels, class Mono, class Stereo>
using mono_or_stereo = std::conditional_t<Channels == 1, Mono, Stereo>;
template <int Channels> struct channel_types {
    using biquad = mono_or_stereo<Channels, HF_LowPass_BiQuad_Mono, HF_LowPass_BiQuad_Stereo>;
    using ladder = mono_or_stereo<Channels, HF_Nonlinear_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Effect_Stereo>;
    using wah_pass = mono_or_stereo<Channels, HF_Formant_Wah_Pass_Effect_Mono, HF_Formant_Wah_Pass_Effect_Stereo>;
    using gauge = mono_or_stereo<Channels, HF_Envelope_Gauge_Mono, HF_Envelope_Gauge_Stereo>;
    using wah = mono_or_stereo<Channels, HF_Formant_Wah_Effect_Mono, HF_Formant_Wah_Effect_Stereo>;
};

// One output buffer per channel.
template <int Channels> struct outputs {
    std::vector<double> ch[Channels];
    outputs() {
        for (auto &c : ch) c.resize(signal_length);
    }
    void keep() {
        for (auto &c : ch) benchmark::DoNotOptimize(c.data());
    }
};

// Baseline: one plain biquad per frame.
template <int Channels> void biquad(benchmark::State &state) {
    platform::DenormalsOffScope ftz;
    typename channel_types<Channels>::biquad f(period);
    f.set_cutoff(rate / 4);
    f.set_q(0.95);
    outputs<Channels> out;
    for (auto _ : state) {
        if constexpr (Channels == 1) {
            const auto &in = input(0);
            for (std::size_t i = 0; i < signal_length; ++i) f.process(in[i], &out.ch[0][i]);
        } else {
            for (std::size_t i = 0; i < signal_length; ++i)
                f.process(input(0)[i], input(1)[i], &out.ch[0][i], &out.ch[1][i]);
        }
        out.keep();
    }
    report(state);
}
BENCHMARK(biquad<1>)->Name("biquad_mono");
BENCHMARK(biquad<2>)->Name("biquad_stereo");

// Ladder index in creation order: 0-3 band-pass 1-4 stages, 4-7 low-pass 1-4 stages. Driven as
// the wah effect drives it: three formant setters, then process_sample, through base pointers.
template <int Channels> void ladder(benchmark::State &state) {
    platform::DenormalsOffScope ftz;
    std::unique_ptr<typename channel_types<Channels>::ladder> ladders[8];
    dsp::make_formant_ladders(period, ladders);
    typename channel_types<Channels>::wah_pass *l = ladders[state.range(0)].get();
    l->set_resonance(0.8);
    outputs<Channels> out;
    for (auto _ : state) {
        [[maybe_unused]] const auto &in = input(0);
        for (std::size_t i = 0; i < signal_length; ++i) {
            const double p = (i & 1023) / 1024.0;
            l->set_formant_1_frequency(300 + 400 * p);
            l->set_formant_2_frequency(870 + 1000 * p);
            l->set_formant_3_frequency(2240 + 300 * p);
            if constexpr (Channels == 1) {
                out.ch[0][i] = in[i];
                l->process_sample(&out.ch[0][i]);
            } else {
                out.ch[0][i] = input(0)[i];
                out.ch[1][i] = input(1)[i];
                l->process_sample(&out.ch[0][i], &out.ch[1][i]);
            }
        }
        out.keep();
    }
    report(state);
}

void ladder_args(benchmark::internal::Benchmark *b) {
    for (int i = 0; i < 8; ++i) b->Arg(i);
    b->ArgName("bp1_bp2_bp3_bp4_lp1_lp2_lp3_lp4");
}
BENCHMARK(ladder<1>)->Name("ladder_mono")->Apply(ladder_args);
BENCHMARK(ladder<2>)->Name("ladder_stereo")->Apply(ladder_args);

// Same ladders through process_block (formants fixed for the block).
template <int Channels> void ladder_block(benchmark::State &state) {
    platform::DenormalsOffScope ftz;
    std::unique_ptr<typename channel_types<Channels>::ladder> ladders[8];
    dsp::make_formant_ladders(period, ladders);
    auto *l = ladders[state.range(0)].get();
    outputs<Channels> out;
    for (auto _ : state) {
        for (int c = 0; c < Channels; ++c) out.ch[c] = input(c);
        if constexpr (Channels == 1)
            l->process_block(out.ch[0].data(), signal_length);
        else
            l->process_block(out.ch[0].data(), out.ch[1].data(), signal_length);
        out.keep();
    }
    report(state);
}
BENCHMARK(ladder_block<1>)->Name("ladder_block_mono")->Arg(4)->Arg(3);
BENCHMARK(ladder_block<2>)->Name("ladder_block_stereo")->Arg(3)->Arg(7);

// The whole per-sample chain. Args: filter type (0 = one-stage LP ... 3 = four-stage LP,
// 7 = four-stage BP), envelope (0 = Sweep Up; 1 = Track at -12 dB, where loud passages reach
// the reference level and need no power; 2 = Track at 0 dB, one power on every sample).
std::unique_ptr<HF_Envelope_Generator> make_envelope(int kind) {
    if (kind == 0) {
        auto e = std::make_unique<HF_AR_Up_Envelope>(period);
        e->set_trigger_sensitivity(-20.0);
        e->set_attack_time(60.0);
        e->set_release_time(120.0);
        return e;
    }
    auto e = std::make_unique<HF_Track_Envelope>(period);
    e->set_trigger_sensitivity(kind == 1 ? -12.0 : 0.0);
    e->set_shape(0.25);
    return e;
}

// The gauge, the envelope and the wah effect of one chain, set up as the effect instance does.
template <int Channels> struct chain {
    typename channel_types<Channels>::gauge gauge{period};
    std::unique_ptr<HF_Envelope_Generator> envelope;
    typename channel_types<Channels>::wah wah{period};

    explicit chain(const benchmark::State &state) : envelope(make_envelope(static_cast<int>(state.range(1)))) {
        gauge.set_attack_time(0.01);
        gauge.set_release_time(0.25);
        wah.set_filter_type(static_cast<std::uint32_t>(state.range(0)));
        wah.set_resonance(0.6);
        wah.set_drive(0.333);
    }
};

template <int Channels> void chain_per_sample(benchmark::State &state) {
    platform::DenormalsOffScope ftz;
    chain<Channels> c(state);
    HF_Envelope_Generator *env = c.envelope.get();
    outputs<Channels> out;
    for (auto _ : state) {
        const auto &in_l = input(0), &in_r = input(1);
        for (std::size_t i = 0; i < signal_length; ++i) {
            if constexpr (Channels == 1) {
                double x = in_l[i];
                const double level = c.gauge.process(x);
                c.wah.set_sweep_position(env->next_value(level));
                c.wah.process_sample(&x);
                out.ch[0][i] = x;
            } else {
                double l = in_l[i], r = in_r[i];
                const double level = c.gauge.process(l, r);
                c.wah.set_sweep_position(env->next_value(level));
                c.wah.process_sample(&l, &r);
                out.ch[0][i] = l;
                out.ch[1][i] = r;
            }
        }
        out.keep();
    }
    report(state);
}

void chain_args(benchmark::internal::Benchmark *b, std::initializer_list<std::pair<int, int>> chains) {
    b->ArgNames({"type", "env"});
    for (auto [type, env] : chains) b->Args({type, env});
}
BENCHMARK(chain_per_sample<1>)->Name("chain_mono")->Apply([](auto *b) {
    chain_args(b, {{0, 0}, {0, 1}, {0, 2}, {3, 0}, {7, 0}});
});
BENCHMARK(chain_per_sample<2>)->Name("chain_stereo")->Apply([](auto *b) {
    chain_args(b, {{0, 0}, {3, 0}, {3, 1}, {3, 2}, {7, 0}, {7, 2}});
});

// The chain as the effect instance runs it now: follower, then envelope over a block of 128
// samples, then the formant effect over the block, on one instruction set. Args: filter type and
// envelope as above, then the path (0 scalar = the per-sample step, 1 SSE2, 2 AVX2, 3 AVX-512).
// One process runs every path, so their ratios are measured on the same machine state; a path
// the processor lacks is skipped.
constexpr std::uint32_t chain_block_frames = 128;

bool use_path(benchmark::State &state, int arg) {
    const dsp::simd_path path = dsp::all_simd_paths[arg];
    if (!dsp::select_simd_path(path)) {
        state.SkipWithError("instruction set not supported here");
        return false;
    }
    state.SetLabel(std::string(dsp::simd_path_name(path)));
    return true;
}

template <int Channels> void chain_block(benchmark::State &state) {
    if (!use_path(state, static_cast<int>(state.range(2)))) return;
    platform::DenormalsOffScope ftz;
    chain<Channels> c(state);
    HF_Envelope_Generator *env = c.envelope.get();
    outputs<Channels> out;
    double levels[chain_block_frames], positions[chain_block_frames];
    for (auto _ : state) {
        const auto &in_l = input(0), &in_r = input(1);
        for (std::size_t done = 0; done < signal_length; done += chain_block_frames) {
            if constexpr (Channels == 1)
                c.gauge.process_block(&in_l[done], levels, chain_block_frames);
            else
                c.gauge.process_block(&in_l[done], &in_r[done], levels, chain_block_frames);
            env->next_values(levels, positions, chain_block_frames);
            if constexpr (Channels == 1)
                c.wah.process_block(&in_l[done], &out.ch[0][done], positions, chain_block_frames);
            else
                c.wah.process_block(&in_l[done], &in_r[done], &out.ch[0][done], &out.ch[1][done], positions,
                                    chain_block_frames);
        }
        out.keep();
    }
    report(state);
}

void block_args(benchmark::internal::Benchmark *b, std::initializer_list<std::pair<int, int>> chains) {
    b->ArgNames({"type", "env", "path"});
    for (auto [type, env] : chains)
        for (int path = 0; path < 4; ++path) b->Args({type, env, path});
}
BENCHMARK(chain_block<1>)->Name("chain_block_mono")->Apply([](auto *b) { block_args(b, {{0, 0}, {3, 0}}); });
BENCHMARK(chain_block<2>)->Name("chain_block_stereo")->Apply([](auto *b) {
    block_args(b, {{7, 0}, {3, 0}, {3, 2}, {7, 2}});
});

}  // namespace

BENCHMARK_MAIN();

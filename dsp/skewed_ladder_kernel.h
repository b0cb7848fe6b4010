// The skewed ladder kernel (see skewed_ladder.h), written once over GCC vector types and
// compiled once per instruction set: skewed_ladder_<set>.cpp defines ZENTROVA_SKEW_ISA (the
// namespace) and ZENTROVA_SKEW_WIDTH (doubles per register) and includes this file.
//
// Everything here has internal linkage or lives in the per-set namespace. A shared inline
// function compiled here for a wider set could be the copy the linker keeps for every caller,
// and then run on a processor without that set; so this file calls none (the settings and
// coefficients are read as plain data) and spells out the saturator and biquad steps itself,
// operation for operation as saturator::apply and lowpass_biquad_coefficients::step.
#include "dsp/skewed_ladder.h"

#include <cstdint>
#include <cstring>
#include <utility>

#if !defined(ZENTROVA_SKEW_ISA) || !defined(ZENTROVA_SKEW_WIDTH)
#error "define ZENTROVA_SKEW_ISA and ZENTROVA_SKEW_WIDTH before including this file"
#endif

namespace dsp::ZENTROVA_SKEW_ISA {

namespace {

template <int N> struct vector_of {
    typedef double type __attribute__((vector_size(N * sizeof(double))));
    typedef std::int64_t mask __attribute__((vector_size(N * sizeof(double))));
};
template <int N> using vec = typename vector_of<N>::type;
template <int N> using vmask = typename vector_of<N>::mask;

template <int N, std::size_t... I> [[gnu::always_inline]] inline vec<N> splat_(double v, std::index_sequence<I...>) {
    return vec<N>{((void)I, v)...};
}
template <int N> [[gnu::always_inline]] inline vec<N> splat(double v) {
    return splat_<N>(v, std::make_index_sequence<N>{});
}
template <int N> [[gnu::always_inline]] inline vec<N> load(const double *p) {
    vec<N> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
// take ? a : b per lane (take all ones or all zeros): one blend instruction where the set has one.
template <int N> [[gnu::always_inline]] inline vec<N> select(vmask<N> take, vec<N> a, vec<N> b) {
    return take ? a : b;
}

// Lane l of a register carries channel l % Channels: {x} or {left, right, left, right, ...}.
template <int N, int Channels, std::size_t... I>
[[gnu::always_inline]] inline vec<N> spread_(const double *v, std::index_sequence<I...>) {
    return vec<N>{v[I % Channels]...};
}
template <int N, int Channels> [[gnu::always_inline]] inline vec<N> spread(const double (&v)[Channels]) {
    return spread_<N, Channels>(v, std::make_index_sequence<N>{});
}

// Lanes [0, C) of `low` followed by lanes [0, N - C) of `high`: what the next step's stages read.
template <int N, int C, std::size_t... I>
[[gnu::always_inline]] inline vec<N> shift_in_(vec<N> low, vec<N> high, std::index_sequence<I...>) {
    return __builtin_shufflevector(low, high, (I < C ? int(I) : int(N + I - C))...);
}
template <int N, int C, std::size_t... I>
[[gnu::always_inline]] inline vec<N> carry_(vec<N> previous, vec<N> current, std::index_sequence<I...>) {
    return __builtin_shufflevector(previous, current, (I < C ? int(N - C + I) : int(N + I - C))...);
}

// f(integral_constant<0>) ... f(integral_constant<Count - 1>): every index into the arrays of
// registers below is a constant, so the compiler keeps them in registers rather than memory.
template <int Count, class F> [[gnu::always_inline]] inline void static_for(F &&f) {
    [&]<int... I>(std::integer_sequence<int, I...>) __attribute__((always_inline)) {
        (f(std::integral_constant<int, I>{}), ...);
    }(std::make_integer_sequence<int, Count>{});
}

template <int Stages, ladder_kind Kind, class L> struct kernel {
    static constexpr int C = sizeof(L) / sizeof(double);
    static constexpr int S = Stages;
    static constexpr int lanes = lane_stages<Stages> * C;
    static constexpr int N = lanes < ZENTROVA_SKEW_WIDTH ? lanes : ZENTROVA_SKEW_WIDTH;
    static constexpr int R = lanes / N;  // registers per value
    using V = vec<N>;
    using M = vmask<N>;
    using track_type = k_track<Stages, C>;

    // Channel values of one lane-L value, and back.
    static void unpack(L v, double (&out)[C]) {
        if constexpr (C == 1)
            out[0] = v;
        else
            for (int c = 0; c < C; ++c) out[c] = v[c];
    }
    static L pack(V v, int first_lane) {
        if constexpr (C == 1)
            return v[first_lane];
        else
            return L{v[first_lane], v[first_lane + 1]};
    }
    static V spread_value(L v) {
        double c[C];
        unpack(v, c);
        return spread<N, C>(c);
    }

    template <class T> static T biquad_step(const lowpass_biquad_coefficients &f, T &x1, T &x2, T &y1, T &y2, T x) {
        const T y = f.b0n * x + f.b1n * x1 + f.b2n * x2 - f.a1n * y1 - f.a2n * y2;
        y2 = y1;
        y1 = y;
        x2 = x1;
        x1 = x;
        return y;
    }

    static V saturate(const saturator &s, V x) {
        const M sign = (M)splat<N>(-0.0);
        const V m = (V)((M)x & ~sign);
        const V curve = ((s.c3 * m + s.c2) * m + s.c1) * x;
        const V at_ceiling = (V)(((M)x & sign) | (M)splat<N>(s.ceiling));
        return select<N>((M)(m >= s.limit), at_ceiling, curve);
    }

    static bool run(const skewed_block<Stages, L> &block) noexcept {
        const formant_ladder_settings &s = *block.settings;
        const lowpass_biquad_coefficients &up = *block.up, &down = *block.down;
        const track_type &track = *block.track;
        const std::ptrdiff_t internal = 2 * std::ptrdiff_t{block.frames};

        // State in lanes; the scratch stage of a three-stage ladder starts from zero.
        double start_low[3][lanes] = {}, start_band[3][lanes] = {};
        for (int st = 0; st < S; ++st)
            for (int j = 0; j < 3; ++j) {
                double l[C], b[C];
                unpack(block.sections->r[st][j].low, l);
                unpack(block.sections->r[st][j].band, b);
                for (int c = 0; c < C; ++c) {
                    start_low[j][st * C + c] = l[c];
                    start_band[j][st * C + c] = b[c];
                }
            }
        // Outputs of the last two steps: step n reads what the stage before produced in step n - 2.
        V low[3][R], band[3][R], previous[2][R] = {};
        static_for<3>([&](auto j) __attribute__((always_inline)) {
            static_for<R>([&](auto r) __attribute__((always_inline)) {
                low[j][r] = load<N>(&start_low[j][r * N]);
                band[j][r] = load<N>(&start_band[j][r * N]);
            });
        });
        // The first stage's damping in its lanes, 1.0 in the others (only register 0 holds it).
        V q0 = splat<N>(1.0);
        for (int c = 0; c < C; ++c) q0[c] = s.damping;
        // Stage of each lane, for the opening and closing steps.
        V stage_of[R];
        for (int r = 0; r < R; ++r)
            for (int i = 0; i < N; ++i) stage_of[r][i] = static_cast<double>((r * N + i) / C);

        biquad_memory<L> u = *block.up_memory;
        biquad_memory<L> d = *block.down_memory;
        L probe_sum{};
        L first_of_pair{};
        constexpr int out_lane = (S - 1) * C;

        auto step = [&]<bool Masked, int Parity>(std::ptrdiff_t n) __attribute__((always_inline)) {
            V(&carried)[R] = previous[Parity];
            // Stage 1's input: the up filter on the host sample or on the inserted zero.
            V x0{};
            if (!Masked || n < internal) {
                const std::ptrdiff_t t = n >> 1;
                // The up filter runs on the channels alone; its output goes to every stage-1 lane.
                L a_or_b;
                if constexpr (Parity == 0) {
                    L x;
                    if constexpr (C == 1)
                        x = block.in[0][t];
                    else
                        x = L{block.in[0][t], block.in[1][t]};
                    a_or_b = biquad_step(up, u.x1, u.x2, u.y1, u.y2, x);
                    first_of_pair = a_or_b;
                } else {
                    a_or_b = biquad_step(up, u.x1, u.x2, u.y1, u.y2, L{});
                    // a + b of the recovery check, parked in the output until y arrives.
                    const L ab = first_of_pair + a_or_b;
                    double ab_c[C];
                    unpack(ab, ab_c);
                    for (int c = 0; c < C; ++c) block.out[c][t] = ab_c[c];
                }
                x0 = spread_value(a_or_b);
            }
            V input[R];
            if constexpr (N == C) {
                input[0] = x0;
                static_for<R - 1>([&](auto r) __attribute__((always_inline)) { input[r + 1] = carried[r]; });
            } else {
                input[0] = shift_in_<N, C>(x0, carried[0], std::make_index_sequence<N>{});
                static_for<R - 1>([&](auto r) __attribute__((always_inline)) {
                    input[r + 1] = carry_<N, C>(carried[r], carried[r + 1], std::make_index_sequence<N>{});
                });
            }
            // track_type::index(n / 2), spelled out (see the top of the file): stage s is on host
            // sample n / 2 - s.
            const std::ptrdiff_t k_offset = (track_type::top - (n >> 1)) * C;
            static_for<R>([&](auto r) __attribute__((always_inline)) {
                [[maybe_unused]] M active;
                if constexpr (Masked) {
                    const V behind = static_cast<double>(n) - 2.0 * stage_of[r];
                    active = (M)(behind >= 0.0) & (M)(behind < static_cast<double>(internal));
                }
                const V x = saturate(s.shaper, input[r]);
                V new_low[3], new_band[3];
                static_for<3>([&](auto j) __attribute__((always_inline)) {
                    const V k = load<N>(&track.k[j][k_offset + r * N]);
                    new_low[j] = low[j][r] + k * band[j][r];
                    // q is 1.0 beyond the first stage, and 1.0 x band is band exactly.
                    V damped;
                    if constexpr (r == 0)
                        damped = q0 * band[j][r];
                    else
                        damped = band[j][r];
                    const V high = x - new_low[j] - damped;
                    new_band[j] = band[j][r] + k * high;
                });
                const V tap1 = Kind == ladder_kind::low_pass ? new_low[0] : new_band[0];
                carried[r] = tap1 + new_band[1] + new_band[2];
                static_for<3>([&](auto j) __attribute__((always_inline)) {
                    if constexpr (Masked) {
                        low[j][r] = select<N>(active, new_low[j], low[j][r]);
                        band[j][r] = select<N>(active, new_band[j], band[j][r]);
                    } else {
                        low[j][r] = new_low[j];
                        band[j][r] = new_band[j];
                    }
                });
            });
            // The last stage's output: internal sample n - 2 (S - 1) into the down filter, which
            // keeps every second one.
            const std::ptrdiff_t m = n - 2 * (S - 1);
            if (!Masked || (m >= 0 && m < internal)) {
                const L y = pack(carried[out_lane / N], out_lane % N);
                const L kept = biquad_step(down, d.x1, d.x2, d.y1, d.y2, y);
                if constexpr (Parity == 1) {
                    const std::ptrdiff_t t = m >> 1;
                    double kept_c[C];
                    unpack(kept, kept_c);
                    L ab;
                    if constexpr (C == 1)
                        ab = block.out[0][t];
                    else
                        ab = L{block.out[0][t], block.out[1][t]};
                    const L probe = ab + kept;
                    probe_sum = probe_sum + (probe - probe);
                    for (int c = 0; c < C; ++c) block.out[c][t] = kept_c[c];
                }
            }
        };

        // Steps come in pairs, one host sample each; the lag of the last stage, 2 (S - 1), is even.
        const std::ptrdiff_t open_end = 2 * (S - 1);
        const std::ptrdiff_t close_begin = open_end > internal ? open_end : internal;
        const std::ptrdiff_t steps = internal + 2 * (S - 1);
        for (std::ptrdiff_t n = 0; n < open_end; n += 2) {
            step.template operator()<true, 0>(n);
            step.template operator()<true, 1>(n + 1);
        }
        for (std::ptrdiff_t n = open_end; n < internal; n += 2) {
            step.template operator()<false, 0>(n);
            step.template operator()<false, 1>(n + 1);
        }
        for (std::ptrdiff_t n = close_begin; n < steps; n += 2) {
            step.template operator()<true, 0>(n);
            step.template operator()<true, 1>(n + 1);
        }

        double probe_c[C];
        unpack(probe_sum, probe_c);
        for (int c = 0; c < C; ++c)
            if (probe_c[c] != 0.0) return false;  // NaN: a non-finite value met the filter

        double end_low[3][lanes], end_band[3][lanes];
        static_for<3>([&](auto j) __attribute__((always_inline)) {
            static_for<R>([&](auto r) __attribute__((always_inline)) {
                std::memcpy(&end_low[j][r * N], &low[j][r], sizeof(V));
                std::memcpy(&end_band[j][r * N], &band[j][r], sizeof(V));
            });
        });
        for (int st = 0; st < S; ++st)
            for (int j = 0; j < 3; ++j) {
                if constexpr (C == 1) {
                    block.sections->r[st][j].low = end_low[j][st];
                    block.sections->r[st][j].band = end_band[j][st];
                } else {
                    block.sections->r[st][j].low = L{end_low[j][2 * st], end_low[j][2 * st + 1]};
                    block.sections->r[st][j].band = L{end_band[j][2 * st], end_band[j][2 * st + 1]};
                }
            }
        *block.up_memory = u;
        *block.down_memory = d;
        return true;
    }
};

}  // namespace

template <int Stages, ladder_kind Kind, class L> bool run_skewed(const skewed_block<Stages, L> &block) noexcept {
    return kernel<Stages, Kind, L>::run(block);
}

#define ZENTROVA_SKEW_INSTANTIATE(stages)                                                                             \
    template bool run_skewed<stages, ladder_kind::band_pass, double>(const skewed_block<stages, double> &) noexcept; \
    template bool run_skewed<stages, ladder_kind::low_pass, double>(const skewed_block<stages, double> &) noexcept;  \
    template bool run_skewed<stages, ladder_kind::band_pass, lane2>(const skewed_block<stages, lane2> &) noexcept;   \
    template bool run_skewed<stages, ladder_kind::low_pass, lane2>(const skewed_block<stages, lane2> &) noexcept;
ZENTROVA_SKEW_INSTANTIATE(2)
ZENTROVA_SKEW_INSTANTIATE(3)
ZENTROVA_SKEW_INSTANTIATE(4)
#undef ZENTROVA_SKEW_INSTANTIATE

}  // namespace dsp::ZENTROVA_SKEW_ISA

#include "dsp/HF_Track_Envelope.h"

#include "dsp/simd_path.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

HF_Track_Envelope::HF_Track_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

void HF_Track_Envelope::update_coefficients() noexcept {
    reference_gain = trigger_sensitivity > -80.0 ? 1.0 / std::pow(10.0, trigger_sensitivity * 0.05) : 10000.0;
}

// The four-lane helpers below are always inlined into the AVX2 function that uses them, so the
// note that their by-value vector arguments would need AVX for an out-of-line call says nothing.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace dsp {

namespace {

// log2 x = exponent + log2 c + log2(m / c), with m the mantissa in [1, 2) and c the centre of
// its 1/128 interval, so |m / c - 1| < 1/256 and a degree-7 series for ln(1 + r) is exact to
// about 1e-19. The table holds 1/c rounded and the logarithm of exactly that rounded value, so
// the rounding of 1/c costs nothing.
// 2^y = 2^(q) x 2^(j/64) x 2^f with |f| <= 1/128: a degree-6 series for e^(f ln 2) is exact to
// about 1e-17. The errors that remain are roundings: a few 1e-14 relative for the smallest
// levels (where log2 x is near -1000), less elsewhere.
constexpr int log_bits = 7;
constexpr int log_entries = 1 << log_bits;
constexpr int exp_bits = 6;
constexpr int exp_entries = 1 << exp_bits;

struct power_tables {
    double inverse_centre[log_entries];
    double log2_centre[log_entries];
    double exp2_step[exp_entries];

    power_tables() noexcept {
        for (int i = 0; i < log_entries; ++i) {
            const double centre = 1.0 + (i + 0.5) / log_entries;
            inverse_centre[i] = 1.0 / centre;
            log2_centre[i] = -std::log2(inverse_centre[i]);
        }
        for (int j = 0; j < exp_entries; ++j) exp2_step[j] = std::exp2(static_cast<double>(j) / exp_entries);
    }
};

// Built when the library loads, never on the render thread.
const power_tables tables;

constexpr std::uint64_t mantissa_mask = (std::uint64_t{1} << 52) - 1;
constexpr double smallest_normal = 0x1p-1022;
constexpr double largest_result_log2 = 1000.0;

}  // namespace

// ln(1 + r) for |r| < 1/256 and e^z for |z| <= ln 2 / 128, the same expressions for one
// operand (T = double) or several (a vector): the lanes of a vector get exactly the scalar
// result. Estrin's scheme: the powers of r and z are formed alongside the coefficients, so the
// chain of dependent operations is about half as long as Horner's.
template <class T> [[gnu::always_inline]] inline T ln_1p_series(const T &r) {
    const T r2 = r * r;
    const T r4 = r2 * r2;
    const T low = (1.0 + r * -0.5) + r2 * (1.0 / 3.0 + r * -0.25);
    const T high = (0.2 + r * (-1.0 / 6.0)) + r2 * (1.0 / 7.0);
    return r * (low + r4 * high);
}
template <class T> [[gnu::always_inline]] inline T exp_series(const T &z) {
    const T z2 = z * z;
    const T z4 = z2 * z2;
    const T tail = (1.0 + z * 0.5) + z2 * (1.0 / 6.0 + z * (1.0 / 24.0)) + z4 * (1.0 / 120.0 + z * (1.0 / 720.0));
    return 1.0 + z * tail;
}

// The fast path for Lanes operands at once, each lane exactly the operations of track_power's
// fast path (the table reads are per lane). False, with nothing written, when a lane is outside
// that path's range.
template <int Lanes> struct lane_types {
    typedef double value __attribute__((vector_size(Lanes * sizeof(double))));
    typedef std::uint64_t bits __attribute__((vector_size(Lanes * sizeof(double))));
    typedef std::int64_t mask __attribute__((vector_size(Lanes * sizeof(double))));
};

template <int Lanes> struct power_lanes {
    using value = typename lane_types<Lanes>::value;
    using bits = typename lane_types<Lanes>::bits;
    using mask = typename lane_types<Lanes>::mask;

    [[gnu::always_inline]] static bool all(const mask &m) {
        bool every = true;
        for (int c = 0; c < Lanes; ++c) every = every && m[c] != 0;
        return every;
    }

    [[gnu::always_inline]] static bool run(const value &x, double e, value &power) {
        if (!all((mask)(x >= smallest_normal) & (mask)(x <= 0x1.fffffffffffffp1023)) || e == 1.0 ||
            !(std::fabs(e) <= 0x1p30))
            return false;
        const value zero{};
        const auto b = (bits)x;
        // The biased exponent as a double without a conversion instruction: 2^52 + b, less 2^52.
        const value biased = (value)((b >> 52) | (bits)(zero + 0x1p52)) - 0x1p52;
        const value binary_exponent = biased - 1023.0;
        const value mantissa = (value)((b & mantissa_mask) | (std::uint64_t{1023} << 52));
        const bits i = (b >> (52 - log_bits)) & (log_entries - 1);
        value inverse_centre, log2_centre;
        for (int c = 0; c < Lanes; ++c) {
            inverse_centre[c] = tables.inverse_centre[i[c]];
            log2_centre[c] = tables.log2_centre[i[c]];
        }
        const value r = mantissa * inverse_centre - 1.0;
        const value log2_x = (binary_exponent + log2_centre) + ln_1p_series(r) * std::numbers::log2e;

        const value y = e * log2_x;
        if (!all((mask)(y <= largest_result_log2) & (mask)(y >= -largest_result_log2))) return false;
        const value scaled = y * exp_entries;
        const value shifted = scaled + 0x1.8p52;
        const value nearest = shifted - 0x1.8p52;
        // The integer in the low bits of the shifted value; |steps| <= 64000 here, so adding 2^16
        // makes it non-negative and a logical shift floors it as track_power's arithmetic one does.
        const bits steps = (bits)shifted - (bits)(zero + 0x1.8p52);
        const value z = (scaled - nearest) * (std::numbers::ln2 / exp_entries);
        const bits whole_biased = ((steps + 65536) >> exp_bits) - 1024 + 1023;
        const value power_of_two = (value)(whole_biased << 52);
        const bits j = steps & (exp_entries - 1);
        value step;
        for (int c = 0; c < Lanes; ++c) step[c] = tables.exp2_step[j[c]];
        power = step * exp_series(z) * power_of_two;
        return true;
    }
};

double track_power(double x, double e) noexcept {
    if (e == 1.0) return x;  // shape 0, the linear curve: exactly the level, as pow gives it
    if (!(x >= smallest_normal && x <= 0x1.fffffffffffffp1023) || !(std::fabs(e) <= 0x1p30)) [[unlikely]]
        return std::pow(x, e);

    const auto bits = std::bit_cast<std::uint64_t>(x);
    const int binary_exponent = static_cast<int>(bits >> 52) - 1023;
    const double mantissa = std::bit_cast<double>((bits & mantissa_mask) | (std::uint64_t{1023} << 52));
    const int i = static_cast<int>((bits >> (52 - log_bits)) & (log_entries - 1));
    const double r = mantissa * tables.inverse_centre[i] - 1.0;
    const double log2_x = (binary_exponent + tables.log2_centre[i]) + ln_1p_series(r) * std::numbers::log2e;

    const double y = e * log2_x;
    if (!(std::fabs(y) <= largest_result_log2)) [[unlikely]]
        return std::pow(x, e);
    // Round y x 64 to the nearest integer without a library call: adding 1.5 x 2^52 leaves no
    // fraction bits (the default rounding mode rounds to nearest).
    const double scaled = y * exp_entries;
    const double nearest = (scaled + 0x1.8p52) - 0x1.8p52;
    const auto steps = static_cast<std::int64_t>(nearest);
    const double z = (scaled - nearest) * (std::numbers::ln2 / exp_entries);
    const double e_z = exp_series(z);
    const std::int64_t whole = steps >> exp_bits;  // floor: steps - whole x 64 is in [0, 63]
    const double power_of_two = std::bit_cast<double>(static_cast<std::uint64_t>(whole + 1023) << 52);
    return tables.exp2_step[steps & (exp_entries - 1)] * e_z * power_of_two;
}

}  // namespace dsp

namespace {

template <int Lanes>
[[gnu::always_inline]] inline void track_block(const HF_Track_Envelope &track, double gain, double e, const double *levels, double *positions,
                 std::uint32_t count) noexcept {
    using lanes = dsp::power_lanes<Lanes>;
    for (std::uint32_t i = 0; i + Lanes <= count; i += Lanes) {
        typename lanes::value x;
        std::memcpy(&x, levels + i, sizeof x);
        x = x * gain;
        typename lanes::value p;
        if (!lanes::run(x, e, p)) [[unlikely]] {
            for (int c = 0; c < Lanes; ++c) positions[i + c] = const_cast<HF_Track_Envelope &>(track).next_value(levels[i + c]);
            continue;
        }
        // next_value's ending per lane: 1 at or above the reference level, else the power held
        // at 1 (a NaN power gives 1 too).
        const typename lanes::value one = typename lanes::value{} + 1.0;
        const typename lanes::mask full = (typename lanes::mask)(x >= 1.0) & (e >= 0.0 ? -1 : 0);
        const typename lanes::value held = p < 1.0 ? p : one;
        const typename lanes::value position = full ? one : held;
        std::memcpy(positions + i, &position, sizeof position);
    }
}

#if defined(ZENTROVA_WIDE_SIMD)
// Four levels per register where the processor has them; the same operations per lane.
__attribute__((target("avx2"))) void track_block_avx2(const HF_Track_Envelope &track, double gain, double e,
                                                      const double *levels, double *positions,
                                                      std::uint32_t count) noexcept {
    track_block<4>(track, gain, e, levels, positions, count);
}
#endif

}  // namespace

void HF_Track_Envelope::next_values(const double *levels, double *positions, std::uint32_t count) noexcept {
    std::uint32_t lanes = 2;
#if defined(ZENTROVA_WIDE_SIMD)
    if (dsp::active_simd_path() >= dsp::simd_path::avx2) {
        lanes = 4;
        track_block_avx2(*this, reference_gain, exponent, levels, positions, count);
    } else
#endif
        track_block<2>(*this, reference_gain, exponent, levels, positions, count);
    for (std::uint32_t i = count - count % lanes; i < count; ++i) positions[i] = HF_Track_Envelope::next_value(levels[i]);
}

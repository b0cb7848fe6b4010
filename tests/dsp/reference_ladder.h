// A plain, literal model of the ladder arithmetic, written independently of dsp/:
// scalar code, the saturator as three branches, the high-pass value kept as state, no bounds on
// the resonator coefficients and no recovery. The optimised ladders must match it bit for bit
// wherever that arithmetic is stable (formants below the internal rate's limit).
#pragma once

#include <cmath>
#include <numbers>

namespace reference {

struct biquad {
    double b0n, b1n, b2n, a1n, a2n;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    biquad(double period, double cutoff, double q) {
        const double w = 2.0 * std::numbers::pi * cutoff * period;
        const double cw = std::cos(w), sw = std::sin(w);
        const double alpha = sw / (2.0 * q);
        const double b1 = 1.0 - cw, b0 = 0.5 * b1, b2 = 0.5 * b1;
        const double a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
        const double inv = 1.0 / a0;
        b0n = b0 * inv;
        b1n = b1 * inv;
        b2n = b2 * inv;
        a1n = a1 * inv;
        a2n = a2 * inv;
    }
    double process(double x) {
        const double y = b0n * x + b1n * x1 + b2n * x2 - a1n * y1 - a2n * y2;
        y2 = y1;
        y1 = y;
        x2 = x1;
        x1 = x;
        return y;
    }
};

struct ladder {
    int stages;
    bool low_pass_first;
    double host_period;
    double damping = 0.4;
    double k[3] = {0, 0, 0};
    double limit = 1.0, c1 = 1.5, c2 = 0.0, c3 = -0.5, ceiling = 1.0;
    double state[4][3][3] = {};  // [stage][resonator][low, band, high]
    biquad up, down;

    ladder(int stage_count, bool lp, double period)
        : stages(stage_count), low_pass_first(lp), host_period(period),
          up(period / 2.0, (1.0 / period) * 0.25, 0.95), down(period / 2.0, (1.0 / period) * 0.25, 0.95) {}

    void set_resonance(double r) { damping = (1.0 - r) * 0.8; }
    void set_drive(double c) {
        const double a = c * 0.6666666666666666 + 0.3333333333333333;
        const double l = (1.0 - c) * 0.9 + 0.1;
        const double g = 0.6666666666666666;
        limit = l;
        c3 = (3.0 * a - 2.0) * g / (l * l);
        c2 = 3.0 * (1.0 - 2.0 * a) * g / l;
        c1 = 3.0 * a * g;
        ceiling = ((c3 * l + c2) * l + c1) * l;
    }
    void set_formants(double f1, double f2, double f3) {
        const double frequency_scale = 2.0 * (std::numbers::pi * (host_period / 2.0));
        k[0] = f1 * frequency_scale;
        k[1] = f2 * frequency_scale;
        k[2] = f3 * frequency_scale;
    }
    double saturate(double x) const {
        if (x > 0) return x >= limit ? ceiling : ((c3 * x + c2) * x + c1) * x;
        if (x < 0) {
            const double m = -x;
            return m >= limit ? -ceiling : ((c3 * m + c2) * m + c1) * x;
        }
        return 0.0;
    }
    double run_stages(double v) {
        for (int s = 0; s < stages; ++s) {
            const double u = saturate(v);
            const double q = s == 0 ? damping : 1.0;
            for (int j = 0; j < 3; ++j) {
                double *r = state[s][j];
                r[0] = r[0] + k[j] * r[1];
                r[2] = u - r[0] - q * r[1];
                r[1] = r[1] + k[j] * r[2];
            }
            v = (low_pass_first ? state[s][0][0] : state[s][0][1]) + state[s][1][1] + state[s][2][1];
        }
        return v;
    }
    double process(double x) {
        const double a = up.process(x);
        const double b = up.process(0.0);
        const double ya = run_stages(a);
        const double yb = run_stages(b);
        down.process(ya);
        return down.process(yb);
    }
};

}  // namespace reference

#include "spectrogram.h"

#include "cli_errors.h"
#include "file_paths.h"

#include <cairo.h>
#include <fftw3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>
#include <numbers>

namespace zentrova_cli {
namespace {

constexpr int fft_size = 4096;
constexpr int panel_width = 720, panel_height = 420;
constexpr int margin_left = 56, margin_right = 16, margin_top = 34, margin_bottom = 40;
constexpr double low_hz = 50.0, high_hz = 12000.0, floor_db = -90.0;

// Dark blue through magenta and orange to pale yellow: loud is bright.
void colour_for(double level, double &r, double &g, double &b) {
    static constexpr double stops[][3] = {
        {0.02, 0.02, 0.08}, {0.23, 0.06, 0.42}, {0.62, 0.15, 0.50}, {0.94, 0.42, 0.24}, {0.99, 0.92, 0.60}};
    level = std::clamp(level, 0.0, 1.0) * 4.0;
    const int i = std::min(3, static_cast<int>(level));
    const double f = level - i;
    r = stops[i][0] + (stops[i + 1][0] - stops[i][0]) * f;
    g = stops[i][1] + (stops[i + 1][1] - stops[i][1]) * f;
    b = stops[i][2] + (stops[i + 1][2] - stops[i][2]) * f;
}

// Magnitudes in dB for `columns` analysis frames spread over the signal, bins up to Nyquist.
std::vector<std::vector<double>> analyse(const std::vector<float> &x, int columns) {
    std::vector<double> window(fft_size), frame(fft_size);
    for (int i = 0; i < fft_size; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (fft_size - 1));
    fftw_complex *spectrum = fftw_alloc_complex(fft_size / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(fft_size, frame.data(), spectrum, FFTW_ESTIMATE);

    std::vector<std::vector<double>> result(static_cast<std::size_t>(columns));
    const double hop = static_cast<double>(x.size()) / columns;
    for (int c = 0; c < columns; ++c) {
        const long centre = static_cast<long>((c + 0.5) * hop);
        for (int i = 0; i < fft_size; ++i) {
            const long n = centre - fft_size / 2 + i;
            frame[i] = (n >= 0 && n < static_cast<long>(x.size())) ? x[static_cast<std::size_t>(n)] * window[i] : 0.0;
        }
        fftw_execute(plan);
        auto &column = result[static_cast<std::size_t>(c)];
        column.resize(fft_size / 2 + 1);
        for (int k = 0; k <= fft_size / 2; ++k) {
            const double magnitude = std::hypot(spectrum[k][0], spectrum[k][1]) * 4.0 / fft_size;
            column[static_cast<std::size_t>(k)] = 20.0 * std::log10(magnitude + 1e-12);
        }
    }
    fftw_destroy_plan(plan);
    fftw_free(spectrum);
    return result;
}

void draw_panel(cairo_t *cr, double x0, const labelled_signal &signal, double sample_rate) {
    const int plot_w = panel_width - margin_left - margin_right;
    const int plot_h = panel_height - margin_top - margin_bottom;
    const auto columns = analyse(*signal.samples, plot_w);

    cairo_surface_t *image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, plot_w, plot_h);
    unsigned char *pixels = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const double bin_hz = sample_rate / fft_size;
    for (int y = 0; y < plot_h; ++y) {
        // Logarithmic frequency axis: the vowel formants spread evenly across it.
        const double hz = low_hz * std::pow(high_hz / low_hz, 1.0 - (y + 0.5) / plot_h);
        const double bin = hz / bin_hz;
        const auto k = static_cast<std::size_t>(bin);
        const double f = bin - static_cast<double>(k);
        for (int x = 0; x < plot_w; ++x) {
            const auto &column = columns[static_cast<std::size_t>(x)];
            const double db = column[k] * (1 - f) + column[std::min(k + 1, column.size() - 1)] * f;
            double r, g, b;
            colour_for((db - floor_db) / -floor_db, r, g, b);
            auto *px = reinterpret_cast<uint32_t *>(pixels + y * stride) + x;
            *px = (static_cast<uint32_t>(r * 255) << 16) | (static_cast<uint32_t>(g * 255) << 8) |
                  static_cast<uint32_t>(b * 255);
        }
    }
    cairo_surface_mark_dirty(image);
    cairo_set_source_surface(cr, image, x0 + margin_left, margin_top);
    cairo_paint(cr);
    cairo_surface_destroy(image);

    cairo_set_source_rgb(cr, 0.85, 0.85, 0.88);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 14);
    cairo_move_to(cr, x0 + margin_left, 22);
    cairo_show_text(cr, signal.title.c_str());

    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10);
    for (double hz : {100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0}) {
        const double y = margin_top + plot_h * (1.0 - std::log(hz / low_hz) / std::log(high_hz / low_hz));
        char label[16];
        std::snprintf(label, sizeof label, hz >= 1000 ? "%.0fk" : "%.0f", hz >= 1000 ? hz / 1000 : hz);
        cairo_move_to(cr, x0 + 8, y + 3);
        cairo_show_text(cr, label);
        cairo_move_to(cr, x0 + margin_left - 5, y);
        cairo_line_to(cr, x0 + margin_left, y);
    }
    const double seconds = static_cast<double>(signal.samples->size()) / sample_rate;
    for (int s = 0; s <= static_cast<int>(seconds); s += 2) {
        const double x = x0 + margin_left + plot_w * s / seconds;
        char label[16];
        std::snprintf(label, sizeof label, "%d s", s);
        cairo_move_to(cr, x - 8, panel_height - margin_bottom + 16);
        cairo_show_text(cr, label);
        cairo_move_to(cr, x, panel_height - margin_bottom);
        cairo_line_to(cr, x, panel_height - margin_bottom + 4);
    }
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_move_to(cr, x0 + 8, panel_height - 8);
    cairo_show_text(cr, "Hz, log scale; 0 to -90 dB");
}

// Every write checked: the first failure's error is kept.
struct png_sink {
    int fd;
    int failure = 0;
    static cairo_status_t write(void *self, const unsigned char *data, unsigned int length) {
        auto &sink = *static_cast<png_sink *>(self);
        while (length > 0) {
            const ssize_t n = ::write(sink.fd, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                sink.failure = n < 0 ? errno : EIO;
                return CAIRO_STATUS_WRITE_ERROR;
            }
            data += n;
            length -= static_cast<unsigned int>(n);
        }
        return CAIRO_STATUS_SUCCESS;
    }
};

}  // namespace

void write_spectrograms(const std::filesystem::path &png, const std::vector<labelled_signal> &signals,
                        double sample_rate, bool force) {
    const int width = panel_width * static_cast<int>(signals.size());
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, panel_height);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.10, 0.10, 0.12);
    cairo_paint(cr);
    for (std::size_t i = 0; i < signals.size(); ++i)
        draw_panel(cr, static_cast<double>(i) * panel_width, signals[i], sample_rate);
    cairo_destroy(cr);
    // Through a temporary beside it, as every output: a link at `png` is replaced, not written through.
    std::filesystem::path temporary;
    png_sink sink{create_temporary_beside(png, temporary)};
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, &png_sink::write, &sink);
    cairo_surface_destroy(surface);
    const bool closed = ::close(sink.fd) == 0;
    if (status != CAIRO_STATUS_SUCCESS || !closed) {
        ::unlink(temporary.c_str());
        throw user_error("cannot write \"" + png.string() + "\": " +
                         (sink.failure != 0 ? std::strerror(sink.failure) : cairo_status_to_string(status)));
    }
    place_file(temporary, png, force, "the picture");
}

}  // namespace zentrova_cli

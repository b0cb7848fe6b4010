// Axial and radial shadings whose colour at t in [0, 1] comes from a callback.
//
// Creation can fail, as it can on the platform the editor was written for; the callers log their
// own messages ("couldn't create function for shading." / "couldn't create shading.") when a
// create_* returns null, and skip what they meant to draw.
#pragma once

#include "ui/Color.h"
#include "ui/Geometry.h"

#include <functional>
#include <memory>

typedef struct _cairo_pattern cairo_pattern_t;

namespace ui {

class ShadingFunction {
public:
    using Evaluate = std::function<Color(double t)>;
    // `release` runs once when the function is destroyed (for a record the callback reads).
    // Null when `evaluate` is empty or creation is made to fail for a test.
    static std::shared_ptr<ShadingFunction> create(Evaluate evaluate, std::function<void()> release = {});
    ~ShadingFunction();
    Color evaluate(double t) const { return _evaluate(t); }

    ShadingFunction(const ShadingFunction &) = delete;
    ShadingFunction &operator=(const ShadingFunction &) = delete;

private:
    ShadingFunction(Evaluate e, std::function<void()> r) : _evaluate(std::move(e)), _release(std::move(r)) {}
    Evaluate _evaluate;
    std::function<void()> _release;
};

class Shading {
public:
    // Number of samples of the callback, spread evenly over [0, 1].
    static constexpr int sample_count = 256;

    // The colour runs along the line from `start` (t = 0) to `end` (t = 1); nothing is painted
    // beyond the ends unless extended. Null on a null colour space or function, non-finite points,
    // or when creation is made to fail for a test.
    static std::shared_ptr<Shading> create_axial(const std::shared_ptr<const ColorSpace> &space, Point start, Point end,
                                                 const std::shared_ptr<ShadingFunction> &function,
                                                 bool extend_start = false, bool extend_end = false);
    // From the circle (start_center, start_radius) at t = 0 to (end_center, end_radius) at t = 1.
    static std::shared_ptr<Shading> create_radial(const std::shared_ptr<const ColorSpace> &space, Point start_center,
                                                  double start_radius, Point end_center, double end_radius,
                                                  const std::shared_ptr<ShadingFunction> &function,
                                                  bool extend_start = false, bool extend_end = false);
    ~Shading();
    Shading(const Shading &) = delete;
    Shading &operator=(const Shading &) = delete;

    // The Cairo gradient in view coordinates (for the graphics context).
    cairo_pattern_t *pattern() const { return _pattern; }

private:
    explicit Shading(cairo_pattern_t *p) : _pattern(p) {}
    cairo_pattern_t *_pattern;
};

// For tests of the callers' failure paths: while set, the named creations return null.
struct ShadingFailureInjection {
    static void set(bool fail_functions, bool fail_shadings);
    static void clear() { set(false, false); }
};

}  // namespace ui

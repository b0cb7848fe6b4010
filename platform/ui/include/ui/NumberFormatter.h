// Numbers typed into an entry box: parsed as decimals, bounded to [minimum, maximum].
#pragma once

#include <optional>
#include <string>

namespace ui {

class NumberFormatter {
public:
    void set_minimum(std::optional<double> m) { _minimum = m; }
    void set_maximum(std::optional<double> m) { _maximum = m; }
    std::optional<double> minimum() const { return _minimum; }
    std::optional<double> maximum() const { return _maximum; }
    void set_maximum_fraction_digits(int digits) { _fraction_digits = digits; }

    // A decimal number ("-12", "0.5", " 3e2 "), clamped to the bounds; nullopt for anything else
    // (empty text, trailing garbage, infinities, NaN).
    std::optional<double> number_from_string(const std::string &text) const;
    // At most the maximum fraction digits, trailing zeros dropped ("-12", "0.6").
    std::string string_from_number(double value) const;

private:
    std::optional<double> _minimum;
    std::optional<double> _maximum;
    int _fraction_digits = 4;
};

}  // namespace ui

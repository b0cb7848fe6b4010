#include "ui/NumberFormatter.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ui {

std::optional<double> NumberFormatter::number_from_string(const std::string &text) const {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin == end) return std::nullopt;
    const std::string trimmed = text.substr(begin, end - begin);
    // strtod alone would take "inf", "nan" and hexadecimal: a typed value is a plain decimal.
    for (char c : trimmed)
        if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr("+-.eE", c)) return std::nullopt;
    // The C locale's decimal point, whatever the host set: typed entry always uses '.'.
    locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    locale_t previous = uselocale(c_locale);
    char *stop = nullptr;
    const double value = std::strtod(trimmed.c_str(), &stop);
    uselocale(previous);
    freelocale(c_locale);
    if (stop != trimmed.c_str() + trimmed.size() || !std::isfinite(value)) return std::nullopt;
    double v = value;
    if (_minimum && v < *_minimum) v = *_minimum;
    if (_maximum && v > *_maximum) v = *_maximum;
    return v;
}

std::string NumberFormatter::string_from_number(double value) const {
    if (!std::isfinite(value)) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(_fraction_digits, 0, 17), value);
    std::string s = buffer;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

}  // namespace ui

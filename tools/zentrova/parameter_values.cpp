#include "parameter_values.h"

#include "cli_errors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace zentrova_cli {
namespace {

bool same_text(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(const std::string &text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool parse_number(const std::string &text, double &out) {
    const std::string t = trim(text);
    if (t.empty()) return false;
    char *end = nullptr;
    out = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(out);
}

std::string number_text(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

std::string names_of(const std::vector<parameter_description> &table) {
    std::string list;
    for (const auto &p : table) list += (list.empty() ? "\"" : ", \"") + p.name + "\"";
    return list;
}

std::pair<std::string, std::string> split_at_equals(const std::string &text, const char *what) {
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        throw user_error(std::string("expected PARAM=") + what + ", got \"" + text + "\"");
    return {trim(text.substr(0, eq)), text.substr(eq + 1)};
}

}  // namespace

const parameter_description &find_parameter(const std::vector<parameter_description> &table, const std::string &key) {
    double number = 0;
    if (parse_number(key, number)) {
        for (const auto &p : table)
            if (p.id == number) return p;
    }
    for (const auto &p : table)
        if (p.name == key) return p;
    for (const auto &p : table)
        if (same_text(p.name, key)) return p;
    throw user_error("unknown parameter \"" + key + "\"; parameters are ids 0-" + std::to_string(table.size() - 1) +
                     " or " + names_of(table));
}

float parse_value(const parameter_description &p, const std::string &text) {
    double number = 0;
    if (parse_number(text, number)) {
        if (number < p.minimum || number > p.maximum)
            throw user_error("value " + trim(text) + " for \"" + p.name + "\" is out of range " +
                             number_text(p.minimum) + " to " + number_text(p.maximum));
        // A menu's value is an item's index: a fraction would be saved, and refused when read back.
        if (!p.value_strings.empty() && number != std::floor(number))
            throw user_error("value " + trim(text) + " for \"" + p.name + "\" is not one of its menu items 0 to " +
                             number_text(p.maximum));
        return static_cast<float>(number);
    }
    for (std::size_t i = 0; i < p.value_strings.size(); ++i)
        if (same_text(p.value_strings[i], trim(text))) return static_cast<float>(i);
    std::string message = "value \"" + trim(text) + "\" for \"" + p.name + "\" is not a number";
    if (!p.value_strings.empty()) {
        message += " nor one of ";
        for (std::size_t i = 0; i < p.value_strings.size(); ++i)
            message += (i ? ", \"" : "\"") + p.value_strings[i] + "\"";
    }
    throw user_error(message);
}

assignment parse_assignment(const std::vector<parameter_description> &table, const std::string &text) {
    const auto [key, value] = split_at_equals(text, "VALUE");
    const auto &p = find_parameter(table, key);
    return {p.id, parse_value(p, value)};
}

automation parse_automation(const std::vector<parameter_description> &table, const std::string &text) {
    const auto [key, list] = split_at_equals(text, "TIME:VALUE,TIME:VALUE,...");
    const auto &p = find_parameter(table, key);
    automation result{p.id, {}};
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        const auto colon = item.find(':');
        double seconds = 0;
        if (colon == std::string::npos || !parse_number(item.substr(0, colon), seconds) || seconds < 0)
            throw user_error("automation point \"" + trim(item) + "\" for \"" + p.name +
                             "\" is not TIME:VALUE with TIME in seconds, at least 0");
        if (!result.points.empty() && seconds <= result.points.back().seconds)
            throw user_error("automation points for \"" + p.name + "\" must be in increasing time order");
        result.points.push_back({seconds, parse_value(p, item.substr(colon + 1))});
    }
    if (result.points.empty()) throw user_error("automation for \"" + p.name + "\" has no points");
    return result;
}

std::string format_value(const parameter_description &p, float value) {
    const long index = std::lround(value);
    if (!p.value_strings.empty() && index >= 0 && index < static_cast<long>(p.value_strings.size()) &&
        static_cast<float>(index) == value)
        return p.value_strings[static_cast<std::size_t>(index)];
    return number_text(value);
}

}  // namespace zentrova_cli

// Writes the parts of the man pages and the bash completion that describe the parameters, from
// the built component, at build time (as the LV2 ports are):
//
//   zentrova_docs man TEMPLATE OUT          @PARAMETERS@ becomes an mdoc list
//   zentrova_docs completion TEMPLATE OUT   @PARAMETERS@ becomes bash arrays of names and menu items
//
// Nothing about the parameters is written down here: they come from the component through the
// host API, so the pages cannot drift from what the tools accept.
#include "effect_host.h"
#include "parameter_values.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zentrova_cli::parameter_description;

// The one place the generator learns the parameters.
std::vector<parameter_description> component_parameters() {
    zentrova_cli::effect_host host;
    return host.parameters();
}

// Text as roff reads it literally: a backslash is \e, a line cannot start a request.
std::string roff(const std::string &text) {
    std::string out;
    for (char c : text) out += c == '\\' ? std::string("\\e") : std::string(1, c);
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string roff_number(float value) {
    std::ostringstream text;
    text << value;
    std::string s = text.str();
    return s[0] == '-' ? "\\" + s : s;
}

std::string man_parameters(const std::vector<parameter_description> &parameters) {
    std::ostringstream out;
    out << ".Bl -tag -width Ds\n";
    for (const auto &p : parameters) {
        out << ".It Sy " << roff(p.name) << "\n";
        if (!p.value_strings.empty()) {
            out << "Id " << p.id << ", a menu; default " << roff(p.value_strings.at(static_cast<size_t>(p.default_value)))
                << ".\nItems, by index:";
            for (size_t i = 0; i < p.value_strings.size(); ++i)
                out << (i ? "," : "") << "\n" << i << " " << roff(p.value_strings[i]);
            out << ".\n";
            continue;
        }
        const std::string unit = zentrova_cli::unit_name(p.unit);
        const std::string suffix = unit == "generic" ? "" : " " + roff(unit);
        out << "Id " << p.id << ", " << roff_number(p.minimum) << " to " << roff_number(p.maximum) << suffix
            << "; default " << roff_number(p.default_value) << suffix << ".\n";
    }
    out << ".El";
    return out.str();
}

std::string bash_word(const std::string &text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// _zentrova_parameters holds the names; _zentrova_menus, at the same index, the menu items one a
// line (empty for a continuous parameter).
std::string completion_parameters(const std::vector<parameter_description> &parameters) {
    std::ostringstream names, menus;
    names << "_zentrova_parameters=(";
    menus << "_zentrova_menus=(";
    for (const auto &p : parameters) {
        names << "\n  " << bash_word(p.name);
        std::string items;
        for (const auto &item : p.value_strings) items += (items.empty() ? "" : "\n") + item;
        menus << "\n  " << bash_word(items);
    }
    names << "\n)";
    menus << "\n)";
    return names.str() + "\n" + menus.str();
}

std::string read_file(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void replace_all(std::string &text, const std::string &key, const std::string &value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
}

// Written beside, then renamed, so a failed run leaves no half page for the build to trust.
void write_file(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temporary = path + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4 || (std::string(argv[1]) != "man" && std::string(argv[1]) != "completion")) {
        std::cerr << "usage: zentrova_docs man|completion TEMPLATE OUT\n";
        return 1;
    }
    try {
        const auto parameters = component_parameters();
        if (parameters.empty()) throw std::runtime_error("the component lists no parameters");
        std::string text = read_file(argv[2]);
        const bool man = std::string(argv[1]) == "man";
        replace_all(text, "@PARAMETERS@", man ? man_parameters(parameters) : completion_parameters(parameters));
        write_file(argv[3], text);
    } catch (const std::exception &e) {
        std::cerr << "zentrova_docs: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

// zentrova-gallery OUT.png [--scale S]: draws every control of the editor in a few states on one
// page, for a person to look at.
#include "gallery_page.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage(const char *problem) {
    std::fprintf(stderr, "zentrova-gallery: %s\nusage: zentrova-gallery OUT.png [--scale S]\n",
                 problem);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    std::string out;
    double scale = 1.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale") {
            if (i + 1 >= argc) return usage("--scale needs a number");
            char *end = nullptr;
            scale = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(scale >= 0.5 && scale <= 8))
                return usage(("--scale takes a number from 0.5 to 8, not '" +
                              std::string(argv[i]) + "'").c_str());
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage: zentrova-gallery OUT.png [--scale S]\n");
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage(("unknown option '" + arg + "'").c_str());
        } else if (out.empty()) {
            out = arg;
        } else {
            return usage(("one output file only; '" + arg + "' is a second").c_str());
        }
    }
    if (out.empty()) return usage("no output file given");
    std::string error;
    if (!gallery::write_gallery(out, scale, &error)) {
        std::fprintf(stderr, "zentrova-gallery: %s\n", error.c_str());
        return 2;
    }
    return 0;
}

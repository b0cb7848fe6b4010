// `zentrova process -o OUTDIR [--jobs N] [--format EXT] IN...`: many files, each through its own
// instance of the effect in its own worker process, with one progress line for the whole batch.
#pragma once

#include "process_command.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentrova_cli {

struct batch_options {
    std::vector<std::filesystem::path> inputs;
    std::filesystem::path output_folder;
    unsigned jobs = 0;   // 0: one per core this process may run on
    std::string format;  // output extension; empty keeps each input's own
    process_options settings;  // everything but input and output, shared by every file
    // When set, each input's key is the file of the same name in this folder (settings.key, one
    // key for every input, is then unset).
    std::optional<std::filesystem::path> key_folder;
};

// The output of each input: OUTDIR/<input's stem>.<format>. Throws user_error when two inputs would
// write the same output.
std::vector<std::filesystem::path> batch_outputs(const batch_options &options);

// Renders every input; a failure in one file is reported (naming it) and the others go on. Answers
// the exit status: 0 when every file was written, 1 when one or more failed, 128 + the signal's
// number when interrupted.
int run_batch(const batch_options &options);

}  // namespace zentrova_cli

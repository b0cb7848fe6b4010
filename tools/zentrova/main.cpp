// zentrova: runs the Zentrova formant filter over audio files from the shell, as a host.
#include "audio_files.h"
#include "batch_command.h"
#include "cli_errors.h"
#include "demo_signal.h"
#include "effect_host.h"
#include "file_paths.h"
#include "parameter_values.h"
#include "preset_files.h"
#include "process_command.h"
#include "spectrogram.h"
#include "zentrova_version.h"

#include "live_session.h"

#include "host/cf_string.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;
using namespace zentrova_cli;

namespace {

// " 5 " reads as 5, as it does in --set values.
std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string number(float v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

void print_parameter_table() {
    effect_host host;
    std::printf("%s\n\n", host.component_name().c_str());
    std::printf("%3s  %-22s %-12s %-16s %-8s %s\n", "id", "name", "unit", "range", "default", "values");
    for (const auto &p : host.parameters()) {
        std::string values;
        for (std::size_t i = 0; i < p.value_strings.size(); ++i)
            values += (i ? ", " : "") + std::to_string(i) + " " + p.value_strings[i];
        const std::string range = number(p.minimum) + " .. " + number(p.maximum);
        std::printf("%3u  %-22s %-12s %-16s %-8s %s\n", p.id, p.name.c_str(), unit_name(p.unit), range.c_str(),
                    format_value(p, p.default_value).c_str(), values.c_str());
    }
}

// A name or file text printed for a terminal: control characters (C0, DEL and the C1 range in
// UTF-8) as \xNN, so a preset cannot move the cursor, retitle the window or worse.
std::string printable(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c1 ? static_cast<unsigned char>(text[++i]) : c);
            out += escaped;
        } else {
            out += text[i];
        }
    }
    return out;
}

void save_preset(const fs::path &file, const std::vector<std::string> &sets, const std::string &name, bool force) {
    if (printable(name) != name)
        throw user_error("the preset name must not contain control characters");
    effect_host host;
    for (const auto &text : sets) {
        const assignment a = parse_assignment(host.parameters(), text);
        host.set_parameter(a.id, a.value);
    }
    if (!name.empty()) host.set_preset_name(name);
    CFPropertyListRef state = host.copy_state();
    try {
        write_preset_file(file, state, force);
    } catch (...) {
        CFRelease(state);
        throw;
    }
    CFRelease(state);
    std::printf("saved %s\n", file.c_str());
}

void show_preset(const fs::path &file) {
    effect_host host;
    restore_preset(host, file);
    CFPropertyListRef state = read_preset_file(file);
    std::string name = "(unnamed)";
    const auto text = static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("name")));
    if (text && CFGetTypeID(text) == CFStringGetTypeID()) name = host::to_string(text);
    CFRelease(state);
    std::printf("preset \"%s\" (%s)\n", printable(name).c_str(), printable(file.string()).c_str());
    for (const auto &p : host.parameters())
        std::printf("%3u  %-22s %s\n", p.id, p.name.c_str(), format_value(p, host.parameter(p.id)).c_str());
}

// The settings the demonstration renders with: each eighth note of the riff triggers a sweep
// from "OO" through "A" to "EE" and back, through the four-stage band-pass ladder.
const std::vector<std::string> demo_settings = {
    "Dry Output Level=-80",      "Formant Level=-4",         "Formant Filter Type=Four Stage BP",
    "Start Formant=OO",          "Middle Formant=A",         "End Formant=EE",
    "Formant Resonance=0.75",    "Formant Filter Drive=0.3", "Envelope Type=Sweep Up",
    "Follower Attack Time=1",    "Follwer Release Time=60",  "Trigger Sensitivity=-18",
    "Envelope Attack=70",        "Envelope Release=190"};

void write_signal(const fs::path &file, const stereo_signal &signal, bool force) {
    audio_writer writer(file, 2, signal.sample_rate, "", 0, static_cast<long long>(signal.left.size()), force);
    const float *channels[2] = {signal.left.data(), signal.right.data()};
    writer.write(channels, static_cast<unsigned>(signal.left.size()));
    writer.commit();
}

// Both channels of a stereo signal, or of a rendered file, as one, for the spectrogram.
std::vector<float> mono_mix(const stereo_signal &signal) {
    std::vector<float> mix(signal.left.size());
    for (std::size_t i = 0; i < mix.size(); ++i) mix[i] = 0.5f * (signal.left[i] + signal.right[i]);
    return mix;
}
std::vector<float> mono_mix(const fs::path &file) {
    audio_reader rendered(file);
    stereo_signal signal;
    signal.left.resize(static_cast<std::size_t>(rendered.frames()));
    signal.right.resize(signal.left.size());
    float *channels[2] = {signal.left.data(), signal.right.data()};
    rendered.read(channels, static_cast<unsigned>(signal.left.size()));
    return mono_mix(signal);
}

// The demo's folder made, and its files checked by the same rules as process (nothing existing
// replaced without --force) before anything is written.
void prepare_demo_folder(const fs::path &folder, std::initializer_list<fs::path> files, bool force) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw user_error("cannot create the folder \"" + folder.string() + "\": " + ec.message());
    for (const fs::path &file : files) check_destination(file, force, "the demo's file");
}

void run_demo(const fs::path &folder, bool quiet, bool force) {
    const fs::path input = folder / "input.wav", output = folder / "output.wav", picture = folder / "spectrogram.png";
    prepare_demo_folder(folder, {input, output, picture}, force);

    const stereo_signal signal = make_demo_signal();
    write_signal(input, signal, force);

    process_options options;
    options.input = input;
    options.output = output;
    options.sets = demo_settings;
    options.force = force;
    options.quiet = quiet;
    print_summary(options, run_process(options));

    const std::vector<float> dry = mono_mix(signal), wet = mono_mix(output);
    write_spectrograms(picture,
                       {{"Input: the dry riff", &dry}, {"Output: Sweep Up, OO - A - EE, Four Stage BP", &wet}},
                       signal.sample_rate, force);
    std::printf("input:       %s\noutput:      %s\nspectrogram: %s\n", input.c_str(), output.c_str(), picture.c_str());
}

// The keyed demonstration: a held pad whose vowels the drums open, hit by hit.
const std::vector<std::string> keyed_demo_settings = {
    "Dry Output Level=-80",   "Formant Level=0",         "Formant Filter Type=Four Stage BP",
    "Start Formant=OO",       "Middle Formant=A",        "End Formant=EE",
    "Formant Resonance=0.8",  "Envelope Type=Sweep Up",  "Trigger Sensitivity=-20",
    "Follower Attack Time=1", "Follwer Release Time=40", "Envelope Attack=40",
    "Envelope Release=220"};

void run_keyed_demo(const fs::path &folder, bool quiet, bool force) {
    const fs::path pad = folder / "pad.wav", drums = folder / "drums.wav", output = folder / "output.wav",
                   picture = folder / "spectrogram.png";
    prepare_demo_folder(folder, {pad, drums, output, picture}, force);

    const stereo_signal pad_signal = make_pad_signal(), drum_signal = make_drum_signal();
    write_signal(pad, pad_signal, force);
    write_signal(drums, drum_signal, force);

    process_options options;
    options.input = pad;
    options.output = output;
    options.key = drums;
    options.sets = keyed_demo_settings;
    options.force = force;
    options.quiet = quiet;
    print_summary(options, run_process(options));

    const std::vector<float> dry = mono_mix(pad_signal), key = mono_mix(drum_signal), wet = mono_mix(output);
    write_spectrograms(picture,
                       {{"Input: a held pad", &dry},
                        {"Key: the drums", &key},
                        {"Output: the pad, its vowels opened by each hit (Sweep Up, OO - A - EE)", &wet}},
                       pad_signal.sample_rate, force);
    std::printf("input:       %s\nkey:         %s\noutput:      %s\nspectrogram: %s\n", pad.c_str(), drums.c_str(),
                output.c_str(), picture.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"zentrova: the Zentrova envelope-controlled formant filter for audio files", "zentrova"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "zentrova " ZENTROVA_VERSION);

    process_options options;
    batch_options batch;
    std::vector<std::string> files;
    std::string output_folder;
    auto *process = app.add_subcommand(
        "process", "process an audio file (one or two channels, any rate): IN OUT, or -o OUTDIR IN...");
    process->add_option("FILES", files, "IN OUT, or with -o the inputs")->required();
    process->add_option("-o,--output-dir", output_folder, "batch: write each input to OUTDIR, keeping its name");
    process->add_option("--jobs", batch.jobs, "batch: files rendered at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u));
    process->add_option("--format", batch.format,
                        "the outputs' format for -o, or OUT's when it is - (wav, flac, ...; default: the input's)");
    // Each occurrence takes exactly one value, so options may come before IN and OUT.
    process->add_option("--set", options.sets, "PARAM=VALUE: a parameter id or name, a number or a menu item")
        ->expected(1)->allow_extra_args(false)
        ->take_all();
    process->add_option("--automate", options.automations, "PARAM=TIME:VALUE,...: move a parameter over time (s)")
        ->expected(1)->allow_extra_args(false)
        ->take_all();
    std::string preset_in, preset_out, key_file, key_folder;
    process->add_option("--key", key_file,
                        "KEY: the envelope follows this audio file (mono or stereo, IN's rate) instead of IN");
    process->add_option("--key-dir", key_folder, "batch: each input's key is the file of the same name in this folder")
        ->excludes("--key");
    process->add_option("--preset", preset_in, ".aupreset file to start from");
    process->add_option("--save-preset", preset_out, "write the settings used to an .aupreset file");
    process->add_option("--block", options.block, "frames per render call, 1 to 1048576 (default 512)")->transform(trimmed);
    process->add_option("--tail", options.tail_seconds, "seconds of silence rendered after the input")
        ->transform(trimmed);
    process->add_option("--bits", options.bits, "output sample format: 16, 24 or 32f");
    process->add_flag("--force", options.force, "replace an existing output file");
    process->add_flag("-q,--quiet", options.quiet, "no progress bar and no summary");

    app.add_subcommand("params", "list the parameters: id, name, unit, range, default, menu items");

    auto *preset = app.add_subcommand("preset", "write or show .aupreset files");
    preset->require_subcommand(1);
    std::string preset_file, preset_name;
    std::vector<std::string> preset_sets;
    bool preset_force = false;
    auto *preset_save = preset->add_subcommand("save", "write a preset from the defaults and --set values");
    preset_save->add_option("FILE", preset_file, "preset file to write")->required();
    preset_save->add_option("--set", preset_sets, "PARAM=VALUE")->expected(1)->allow_extra_args(false)->take_all();
    preset_save->add_option("--name", preset_name, "the preset's name");
    preset_save->add_flag("--force", preset_force, "replace an existing file");
    auto *preset_show = preset->add_subcommand("show", "print a preset's name and values");
    preset_show->add_option("FILE", preset_file, "preset file to read")->required();

    std::string demo_folder = "zentrova-demo";
    bool demo_quiet = false, demo_force = false, demo_key = false;
    auto *demo = app.add_subcommand("demo", "render the built-in demonstration and its spectrogram");
    demo->add_option("DIR", demo_folder, "folder for input.wav, output.wav and spectrogram.png");
    demo->add_flag(
        "--key", demo_key,
        "the keyed demonstration instead: a pad keyed by drums (pad.wav, drums.wav, output.wav, spectrogram.png)");
    demo->add_flag("-q,--quiet", demo_quiet, "no progress bar and no summary");
    demo->add_flag("--force", demo_force, "replace files a previous demo left in DIR");

    zentrova_live::live_options live_options;
    auto *live = app.add_subcommand("live", "play through the effect in real time as a JACK client (MIDI in; NSM)");
    zentrova_live::add_live_options(*live, live_options);

    // A session manager starts its clients by name alone: under one, `zentrova` plays live.
    const char *nsm_url = std::getenv("NSM_URL");
    const bool managed = argc == 1 && nsm_url != nullptr && *nsm_url != '\0';
    if (argc == 1 && !managed) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    }
    const std::string command = managed ? "live" : argv[1];
    if (command[0] != '-' && command != "process" && command != "params" && command != "preset" && command != "demo" &&
        command != "live") {
        std::fprintf(stderr, "zentrova: unknown command \"%s\"; commands are process, params, preset, demo and live\n",
                     argv[1]);
        return 1;
    }
    try {
        if (!managed) app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        // A file whose name begins with a dash reads as an option: say how to name it.
        for (int i = 2; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--") break;
            std::error_code ec;
            if (argument.size() > 1 && argument[0] == '-' && fs::exists(argument, ec)) {
                std::fprintf(stderr,
                             "zentrova: \"%s\" reads as an option; put -- before the files to name a file that begins "
                             "with a dash (zentrova %s [options] -- FILES)\n",
                             argument.c_str(), argv[1]);
                return 1;
            }
        }
        std::fprintf(stderr, "zentrova: %s (see zentrova --help)\n", e.what());
        return 1;
    }

    try {
        remember_umask();
        install_interrupt_handler();
        if (*process) {
            if (!preset_in.empty()) options.preset = preset_in;
            if (!preset_out.empty()) options.save_preset = preset_out;
            if (!key_file.empty()) options.key = key_file;
            if (!key_folder.empty() && output_folder.empty()) throw user_error("--key-dir applies to -o OUTDIR");
            if (!output_folder.empty()) {
                if (std::find(files.begin(), files.end(), "-") != files.end())
                    throw user_error("standard input (-) takes no -o OUTDIR: give IN - and OUT");
                if (!key_folder.empty()) batch.key_folder = key_folder;
                batch.inputs.assign(files.begin(), files.end());
                batch.output_folder = output_folder;
                batch.settings = options;
                const int status = run_batch(batch);
                if (status != 0) return status;
            } else {
                const bool to_stdout = files.size() == 2 && files[1] == "-";
                if (files.size() != 2 || (!batch.format.empty() && !to_stdout) || batch.jobs != 0)
                    throw user_error(files.size() < 2 ? "OUT is required: give IN and OUT, or -o OUTDIR and the inputs"
                                     : files.size() > 2 ? "several inputs need -o OUTDIR"
                                                        : "--jobs and --format apply to -o OUTDIR (--format also to OUT -)");
                options.stream_format = batch.format;
                options.input = files[0];
                options.output = files[1];
                print_summary(options, run_process(options));
            }
        } else if (app.got_subcommand("params")) {
            print_parameter_table();
        } else if (*preset_save) {
            save_preset(preset_file, preset_sets, preset_name, preset_force);
        } else if (*preset_show) {
            show_preset(preset_file);
        } else if (*demo) {
            if (demo_key)
                run_keyed_demo(demo_folder == "zentrova-demo" ? "zentrova-keyed-demo" : demo_folder, demo_quiet,
                               demo_force);
            else
                run_demo(demo_folder, demo_quiet, demo_force);
        } else if (managed || *live) {
            return zentrova_live::run_headless(live_options);
        }
    } catch (const user_error &e) {
        std::fprintf(stderr, "zentrova: %s\n", e.what());
        return interrupted() ? interrupt_exit_status() : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zentrova: internal error: %s\n", e.what());
        return 2;
    }
    // A table or summary that could not be written (a full disk, a closed pipe) is a failure.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "zentrova: cannot write to standard output\n");
        return 1;
    }
    return 0;
}

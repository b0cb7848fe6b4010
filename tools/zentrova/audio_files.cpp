#include "audio_files.h"

#include "cli_errors.h"
#include "file_paths.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace zentrova_cli {
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The container for a file name, from libsndfile's own list of formats and their extensions.
int major_format_for(const fs::path &path) {
    std::string extension = lower(path.extension().string());
    if (!extension.empty()) extension.erase(0, 1);
    // libsndfile lists AIFF as "aiff", its Ogg container as "oga" and MPEG audio as "m1a".
    if (extension == "aif") extension = "aiff";
    if (extension == "ogg") extension = "oga";
    if (extension == "mp3") extension = "m1a";
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && extension == info.extension) return info.format;
    }
    throw user_error("cannot tell the audio format of \"" + path.string() +
                     "\" from its extension; use .wav, .flac, .aiff, .ogg, .mp3 or another format libsndfile writes");
}

int subtype_for(int major, const std::string &bits, int input_format) {
    const bool holds_float = major == SF_FORMAT_WAV || major == SF_FORMAT_AIFF || major == SF_FORMAT_W64 ||
                             major == SF_FORMAT_CAF || major == SF_FORMAT_RF64 || major == SF_FORMAT_AU;
    if (major == SF_FORMAT_OGG) {
        if (!bits.empty()) throw user_error("--bits does not apply to Ogg Vorbis output");
        return SF_FORMAT_VORBIS;
    }
    if (major == SF_FORMAT_MPEG) {
        if (!bits.empty()) throw user_error("--bits does not apply to MP3 output");
        return SF_FORMAT_MPEG_LAYER_III;
    }
    if (bits == "16") return SF_FORMAT_PCM_16;
    if (bits == "24") return SF_FORMAT_PCM_24;
    if (bits == "32f") {
        if (!holds_float) throw user_error("this output format cannot hold 32-bit float samples; use --bits 16 or 24");
        return SF_FORMAT_FLOAT;
    }
    if (!bits.empty()) throw user_error("--bits must be 16, 24 or 32f, not \"" + bits + "\"");
    if (holds_float) return SF_FORMAT_FLOAT;
    const int input_subtype = input_format & SF_FORMAT_SUBMASK;
    if (input_subtype == SF_FORMAT_PCM_16) return SF_FORMAT_PCM_16;
    return SF_FORMAT_PCM_24;
}

}  // namespace

audio_reader::audio_reader(const fs::path &path) : _path(path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) throw user_error("cannot read \"" + path.string() + "\": no such file");
    if (fs::is_directory(path, ec)) throw user_error("cannot read \"" + path.string() + "\": it is a folder");
    _file = sf_open(path.c_str(), SFM_READ, &_info);
    if (_file == nullptr)
        throw user_error("cannot read \"" + path.string() + "\": " + sf_strerror(nullptr));
    if (_info.channels < 1 || _info.channels > 2) {
        const int channels = _info.channels;
        sf_close(_file);
        _file = nullptr;
        throw user_error("\"" + path.string() + "\" has " + std::to_string(channels) +
                         " channels; Zentrova processes one or two");
    }
    if (_info.samplerate <= 0) {
        sf_close(_file);
        _file = nullptr;
        throw user_error("\"" + path.string() + "\" declares no valid sample rate");
    }
}

audio_reader::~audio_reader() {
    if (_file) sf_close(_file);
}

unsigned audio_reader::read(float *const *out, unsigned frames) {
    const unsigned n = channels();
    _interleaved.resize(static_cast<std::size_t>(frames) * n);
    const sf_count_t got = sf_readf_float(_file, _interleaved.data(), frames);
    if (got < 0 || sf_error(_file) != SF_ERR_NO_ERROR)
        throw user_error("cannot read \"" + _path.string() + "\": " + sf_strerror(_file));
    for (sf_count_t i = 0; i < got; ++i)
        for (unsigned c = 0; c < n; ++c) out[c][i] = _interleaved[static_cast<std::size_t>(i) * n + c];
    return static_cast<unsigned>(got);
}

audio_writer::audio_writer(const fs::path &destination, unsigned channels, double sample_rate, const std::string &bits,
                           int input_format)
    : _channels(channels), _destination(destination) {
    const int major = major_format_for(destination);
    SF_INFO info{};
    info.channels = static_cast<int>(channels);
    info.samplerate = static_cast<int>(sample_rate);
    info.format = major | subtype_for(major, bits, input_format);
    if (!sf_format_check(&info))
        throw user_error("cannot write \"" + destination.string() + "\" in that format at " +
                         std::to_string(info.samplerate) + " Hz with " + std::to_string(channels) + " channel(s)");

    const int fd = create_temporary_beside(destination, _temporary);
    _file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (_file == nullptr) {
        const std::string why = sf_strerror(nullptr);
        discard();
        throw user_error("cannot write \"" + destination.string() + "\": " + why);
    }
    // A float WAV otherwise carries a timestamped PEAK chunk, and identical renders would differ.
    // Not for AIFF: there libsndfile has already reserved the chunk, and dropping it leaves stale
    // header bytes counted as samples in files shorter than the chunk (under four frames).
    if (major != SF_FORMAT_AIFF) sf_command(_file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Let libsndfile clip on conversion to integer formats rather than wrap.
    sf_command(_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

audio_writer::~audio_writer() { discard(); }

void audio_writer::write(const float *const *in, unsigned frames) {
    _interleaved.resize(static_cast<std::size_t>(frames) * _channels);
    for (unsigned i = 0; i < frames; ++i)
        for (unsigned c = 0; c < _channels; ++c) _interleaved[static_cast<std::size_t>(i) * _channels + c] = in[c][i];
    if (sf_writef_float(_file, _interleaved.data(), frames) != frames)
        throw user_error("cannot write \"" + _destination.string() + "\": " + sf_strerror(_file));
}

void audio_writer::commit() {
    const int closed = sf_close(_file);
    _file = nullptr;
    if (closed != 0) throw user_error("cannot finish \"" + _destination.string() + "\": " + sf_error_number(closed));
    std::error_code ec;
    fs::rename(_temporary, _destination, ec);
    if (ec) throw user_error("cannot write \"" + _destination.string() + "\": " + ec.message());
    _temporary.clear();
}

void audio_writer::discard() {
    if (_file) {
        sf_close(_file);
        _file = nullptr;
    }
    if (!_temporary.empty()) {
        ::unlink(_temporary.c_str());
        _temporary.clear();
    }
}

void check_output_path(const fs::path &input, const fs::path &output, bool force) {
    if (same_file(input, output))
        throw user_error("the output \"" + output.string() + "\" is the input file; choose another name");
    check_destination(output, force, "the output");
}

}  // namespace zentrova_cli

#include "audio_files.h"

#include "cli_errors.h"
#include "file_paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace zentrova_cli {
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The container an extension names, from libsndfile's own list of formats and their extensions;
// 0 for none.
int major_format_named(std::string extension) {
    extension = lower(extension);
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
    return 0;
}

int major_format_for(const fs::path &path) {
    std::string extension = path.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    if (const int major = major_format_named(extension)) return major;
    throw user_error("cannot tell the audio format of \"" + path.string() +
                     "\" from its extension; use .wav, .flac, .aiff, .ogg, .mp3 or another format libsndfile writes");
}

// The container written to standard output: the one --format names, else the input's. Only those
// whose header needs no going back: WAV gets a streaming header (see streaming_wav_header), FLAC
// and Ogg leave their totals blank.
int stream_major_format(const std::string &name, int input_format) {
    int major = name.empty() ? (input_format & SF_FORMAT_TYPEMASK) : major_format_named(name);
    if (major == 0) throw user_error("--format " + name + " is not a format libsndfile writes");
    if (major == SF_FORMAT_RF64 || major == SF_FORMAT_W64) major = SF_FORMAT_WAV;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_FLAC && major != SF_FORMAT_OGG)
        throw user_error(std::string(name.empty() ? "the input's format" : "--format " + name) +
                         " cannot be written to a pipe; give --format wav, flac or ogg");
    return major;
}

void put_le(std::string &out, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The RIFF header of a WAV whose length is not known when it starts, as sox writes one to a pipe:
// a data size of 0x7FFFF000 bytes (the largest that readers with 32-bit signed sizes accept), the
// RIFF size to match, so that a reader goes on until the stream ends. Float samples get the
// extended format chunk and the "fact" chunk their format tag asks for.
std::string streaming_wav_header(unsigned channels, int sample_rate, int subtype) {
    constexpr unsigned long data_size = 0x7FFFF000ul;
    const bool is_float = subtype == SF_FORMAT_FLOAT;
    const unsigned bytes = subtype == SF_FORMAT_PCM_16 ? 2 : subtype == SF_FORMAT_PCM_24 ? 3 : 4;
    const unsigned block = channels * bytes;
    std::string chunks = "WAVEfmt ";
    put_le(chunks, is_float ? 18 : 16, 4);
    put_le(chunks, is_float ? 3 : 1, 2);  // WAVE_FORMAT_IEEE_FLOAT or WAVE_FORMAT_PCM
    put_le(chunks, channels, 2);
    put_le(chunks, static_cast<unsigned long>(sample_rate), 4);
    put_le(chunks, static_cast<unsigned long>(sample_rate) * block, 4);
    put_le(chunks, block, 2);
    put_le(chunks, 8 * bytes, 2);
    if (is_float) {
        put_le(chunks, 0, 2);  // no extension bytes
        chunks += "fact";
        put_le(chunks, 4, 4);
        put_le(chunks, data_size / block, 4);  // frames
    }
    chunks += "data";
    put_le(chunks, data_size, 4);
    std::string header = "RIFF";
    put_le(header, chunks.size() + data_size, 4);
    return header + chunks;
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

unsigned bytes_per_sample(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 1;
    case SF_FORMAT_PCM_16: return 2;
    case SF_FORMAT_PCM_24: return 3;
    case SF_FORMAT_DOUBLE: return 8;
    default: return 4;
    }
}

// libsndfile notes "data : N (should be M)" when a header promises more audio than the file holds.
bool header_overstates_length(SNDFILE *file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if ((line.rfind("data", 0) == 0 || line.rfind("SSND", 0) == 0) && line.find("should be") != std::string::npos)
            return true;
    return false;
}

}  // namespace

audio_reader::audio_reader(const fs::path &path) : _path(path) {
    if (is_standard_stream(path)) {
        // libsndfile tells the format from the header. From a pipe it reads forward only, which
        // its FLAC and CAF readers cannot do; a file redirected with < is seekable and reads whole.
        struct stat s {};
        _length_known = ::fstat(STDIN_FILENO, &s) == 0 && S_ISREG(s.st_mode);
        _file = sf_open_fd(STDIN_FILENO, SFM_READ, &_info, SF_FALSE);
        if (_file == nullptr)
            throw user_error(std::string("cannot read standard input: ") + sf_strerror(nullptr) +
                             (_length_known ? ""
                                            : " (from a pipe libsndfile reads WAV, AIFF, AU, W64 and Ogg, not FLAC or "
                                              "CAF: redirect such a file with < instead)"));
    } else {
        std::error_code ec;
        if (!fs::exists(path, ec)) throw user_error("cannot read \"" + path.string() + "\": no such file");
        if (fs::is_directory(path, ec)) throw user_error("cannot read \"" + path.string() + "\": it is a folder");
        _file = sf_open(path.c_str(), SFM_READ, &_info);
    }
    if (_file == nullptr)
        throw user_error("cannot read \"" + path.string() + "\": " + sf_strerror(nullptr));
    std::string refusal;
    if (_info.channels < 1 || _info.channels > 2)
        refusal = "\"" + path.string() + "\" has " + std::to_string(_info.channels) +
                  " channels; Zentrova processes one or two";
    else if (_info.samplerate < min_sample_rate || _info.samplerate > max_sample_rate)
        refusal = "\"" + path.string() + "\" declares a sample rate of " + std::to_string(_info.samplerate) +
                  " Hz; Zentrova processes 1 Hz to 1 MHz";
    if (!refusal.empty()) {
        sf_close(_file);
        _file = nullptr;
        throw user_error(refusal);
    }
    if (_length_known && header_overstates_length(_file))
        std::fprintf(stderr, "zentrova: warning: \"%s\" is shorter than its header says (truncated?); processing the %lld frames it holds\n",
                     path.c_str(), static_cast<long long>(_info.frames));
    _chunk.resize(static_cast<std::size_t>(file_chunk_frames) * channels());
}

audio_reader::~audio_reader() {
    if (_file) sf_close(_file);
}

unsigned audio_reader::read(float *const *out, unsigned frames) {
    const unsigned n = channels();
    unsigned done = 0;
    while (done < frames) {
        if (_chunk_used == _chunk_frames) {
            if (_ended) break;
            const sf_count_t got = sf_readf_float(_file, _chunk.data(), file_chunk_frames);
            if (got < 0 || sf_error(_file) != SF_ERR_NO_ERROR)
                throw user_error("cannot read \"" + _path.string() + "\": " + sf_strerror(_file));
            _chunk_frames = static_cast<std::size_t>(got);
            _chunk_used = 0;
            _ended = got < file_chunk_frames;
            if (got == 0) break;
        }
        const std::size_t take = std::min<std::size_t>(frames - done, _chunk_frames - _chunk_used);
        const float *from = _chunk.data() + _chunk_used * n;
        for (std::size_t i = 0; i < take; ++i)
            for (unsigned c = 0; c < n; ++c) out[c][done + i] = from[i * n + c];
        _chunk_used += take;
        done += static_cast<unsigned>(take);
    }
    return done;
}

int container_for(int major, long long frames, unsigned channels, int subtype) {
    // The RIFF, AIFF and AU headers count bytes in 32 bits; leave room for the header's chunks
    // and for lengths that compressed inputs only estimate.
    constexpr unsigned long long limit = 0xFFFFFFFFull - (128ull << 20);
    if (frames < 0) return major == SF_FORMAT_WAV ? SF_FORMAT_RF64 : major;
    const unsigned long long bytes =
        static_cast<unsigned long long>(std::max(frames, 0LL)) * channels * bytes_per_sample(subtype);
    if (bytes <= limit) return major;
    if (major == SF_FORMAT_WAV) return SF_FORMAT_RF64;
    if (major == SF_FORMAT_AIFF || major == SF_FORMAT_AU)
        throw user_error("the output would exceed the 4 GiB this container can describe; write .wav (RF64) or .w64");
    return major;
}

audio_writer::audio_writer(const fs::path &destination, unsigned channels, double sample_rate, const std::string &bits,
                           int input_format, long long expected_frames, bool force, const std::string &stream_format)
    : _channels(channels), _force(force), _stream(is_standard_stream(destination)), _destination(destination) {
    int major = _stream ? stream_major_format(stream_format, input_format) : major_format_for(destination);
    const int subtype = subtype_for(major, bits, input_format);
    if (!_stream) major = container_for(major, expected_frames, channels, subtype);
    SF_INFO info{};
    info.channels = static_cast<int>(channels);
    info.samplerate = static_cast<int>(sample_rate);
    info.format = major | subtype;
    if (!sf_format_check(&info))
        throw user_error("cannot write \"" + destination.string() + "\" in that format at " +
                         std::to_string(info.samplerate) + " Hz with " + std::to_string(channels) + " channel(s)");

    if (_stream) {
        open_stream(info, stream_format);
    } else {
        _fd = create_temporary_beside(destination, _temporary);
        SF_VIRTUAL_IO io{&vio_length, &vio_seek, &vio_read, &vio_write, &vio_tell};
        _file = sf_open_virtual(&io, SFM_WRITE, &info, this);
        if (_file == nullptr) fail(sf_strerror(nullptr));
    }
    // A WAV of unknown length starts as RF64 and is written back as WAV when it turns out to fit.
    if (major == SF_FORMAT_RF64 && expected_frames < 0) sf_command(_file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // A float WAV otherwise carries a timestamped PEAK chunk, and identical renders would differ.
    // Not for AIFF: there libsndfile has already reserved the chunk, and dropping it leaves stale
    // header bytes counted as samples in files shorter than the chunk (under four frames).
    if (major != SF_FORMAT_AIFF) sf_command(_file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Let libsndfile clip on conversion to integer formats rather than wrap.
    sf_command(_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    _chunk.resize(static_cast<std::size_t>(file_chunk_frames) * channels);
}

// Standard output: written forward only. A WAV gets a streaming header from us and its samples
// from libsndfile as raw data, since libsndfile's own WAV writer goes back to fill in the sizes.
void audio_writer::open_stream(SF_INFO &info, const std::string &format_name) {
    if (::isatty(STDOUT_FILENO)) throw user_error("standard output is a terminal: redirect it, or give OUT a file name");
    _fd = ::dup(STDOUT_FILENO);
    if (_fd < 0) throw user_error(std::string("cannot write standard output: ") + std::strerror(errno));
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        const std::string header = streaming_wav_header(_channels, info.samplerate, info.format & SF_FORMAT_SUBMASK);
        if (vio_write(header.data(), static_cast<sf_count_t>(header.size()), this) != static_cast<sf_count_t>(header.size()))
            fail(std::strerror(_write_errno));
        info.format = SF_FORMAT_RAW | (info.format & SF_FORMAT_SUBMASK) | SF_ENDIAN_LITTLE;
    }
    SF_VIRTUAL_IO io{&vio_length, &vio_seek, &vio_read, &vio_write, &vio_tell};
    _file = sf_open_virtual(&io, SFM_WRITE, &info, this);
    if (_file == nullptr) fail(std::string(sf_strerror(nullptr)) + " (format " + format_name + ")");
}

audio_writer::~audio_writer() { discard(); }

sf_count_t audio_writer::vio_length(void *self) {
    auto &writer = *static_cast<audio_writer *>(self);
    if (writer._stream) return writer._stream_position;
    struct stat s {};
    return ::fstat(writer._fd, &s) == 0 ? s.st_size : -1;
}

// On a pipe only a "seek" to where it already is succeeds. An encoder that tries to go back does
// so at its end, to fill in totals; some then write those fields anyway, which on a pipe would
// land after the audio as garbage, so from then on writes are dropped.
sf_count_t audio_writer::vio_seek(sf_count_t offset, int whence, void *self) {
    auto &writer = *static_cast<audio_writer *>(self);
    if (!writer._stream) return ::lseek(writer._fd, offset, whence);
    const sf_count_t target = whence == SEEK_SET ? offset : writer._stream_position + offset;
    if (target == writer._stream_position) return target;
    writer._stream_sealed = true;
    return -1;
}

sf_count_t audio_writer::vio_read(void *buffer, sf_count_t count, void *self) {
    const ssize_t got = ::read(static_cast<audio_writer *>(self)->_fd, buffer, static_cast<std::size_t>(count));
    return got < 0 ? 0 : got;
}

sf_count_t audio_writer::vio_write(const void *buffer, sf_count_t count, void *self) {
    auto &writer = *static_cast<audio_writer *>(self);
    if (writer._stream_sealed) return count;
    const auto *bytes = static_cast<const char *>(buffer);
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(writer._fd, bytes + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (writer._write_errno == 0) writer._write_errno = n < 0 ? errno : EIO;
            break;
        }
        done += n;
    }
    writer._stream_position += done;
    return done;
}

sf_count_t audio_writer::vio_tell(void *self) {
    auto &writer = *static_cast<audio_writer *>(self);
    return writer._stream ? writer._stream_position : ::lseek(writer._fd, 0, SEEK_CUR);
}

void audio_writer::fail(const std::string &why) {
    discard();
    throw user_error("cannot write " + (_stream ? std::string("standard output") : "\"" + _destination.string() + "\"") +
                     ": " + why);
}

void audio_writer::flush_chunk() {
    if (_chunk_frames == 0) return;
    const auto frames = static_cast<sf_count_t>(_chunk_frames);
    _chunk_frames = 0;
    if (sf_writef_float(_file, _chunk.data(), frames) != frames || _write_errno != 0)
        fail(_write_errno != 0 ? std::strerror(_write_errno) : sf_strerror(_file));
}

void audio_writer::write(const float *const *in, unsigned frames) {
    unsigned done = 0;
    while (done < frames) {
        const std::size_t take = std::min<std::size_t>(frames - done, file_chunk_frames - _chunk_frames);
        float *to = _chunk.data() + _chunk_frames * _channels;
        for (std::size_t i = 0; i < take; ++i)
            for (unsigned c = 0; c < _channels; ++c) to[i * _channels + c] = in[c][done + i];
        _chunk_frames += take;
        done += static_cast<unsigned>(take);
        if (_chunk_frames == file_chunk_frames) flush_chunk();
    }
}

void audio_writer::commit() {
    flush_chunk();
    // Closing writes the header and whatever the encoder still holds: its result counts too.
    const int closed = sf_close(_file);
    _file = nullptr;
    if (_write_errno != 0) fail(std::strerror(_write_errno));
    if (closed != 0) fail(sf_error_number(closed));
    const int fd = _fd;
    _fd = -1;
    if (::close(fd) != 0) fail(std::strerror(errno));
    if (_stream) return;
    const fs::path temporary = _temporary;
    _temporary.clear();
    place_file(temporary, _destination, _force, "the output");
}

void audio_writer::discard() {
    if (_file) {
        sf_close(_file);
        _file = nullptr;
    }
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
    if (!_temporary.empty()) {
        ::unlink(_temporary.c_str());
        _temporary.clear();
    }
}

void check_output_path(const fs::path &input, const fs::path &output, bool force) {
    if (is_standard_stream(output)) return;
    if (!is_standard_stream(input) && same_file(input, output))
        throw user_error("the output \"" + output.string() + "\" is the input file; choose another name");
    check_destination(output, force, "the output");
}

}  // namespace zentrova_cli

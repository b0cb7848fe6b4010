// Streaming audio file reading and writing through libsndfile. Both move whole chunks of at least
// 64k frames between the file and memory, whatever the caller's block size: per-block reads and
// writes of a few KiB cost more than the effect itself. The writer works on a temporary file
// beside its destination and puts it in place only when the whole job has succeeded, so an
// interrupted or failed run never leaves a partial output behind; every write, the encoder's last
// flush and the close are checked, so a full disk is a failure, never a truncated success.
//
// The name "-" stands for standard input or output. There the rules hold as far as a pipe allows:
// nothing reaches the pipe before the writer is constructed (after every check), failures still
// throw, but what was written cannot be taken back.
#pragma once

#include <sndfile.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zentrova_cli {

// Frames moved between a file and memory at a time.
inline constexpr unsigned file_chunk_frames = 1u << 16;

// The sample rates the tool accepts: anything beyond is a damaged header, and would make --tail
// render absurd amounts.
inline constexpr int min_sample_rate = 1, max_sample_rate = 1'000'000;

// "-": standard input as IN, standard output as OUT.
inline bool is_standard_stream(const std::filesystem::path &path) { return path == "-"; }

class audio_reader {
public:
    // Throws user_error naming the problem. A file whose header promises more audio than it holds
    // is read as far as it goes, with a warning on standard error.
    explicit audio_reader(const std::filesystem::path &path);
    ~audio_reader();
    audio_reader(const audio_reader &) = delete;
    audio_reader &operator=(const audio_reader &) = delete;

    unsigned channels() const { return static_cast<unsigned>(_info.channels); }
    double sample_rate() const { return _info.samplerate; }
    long long frames() const { return _info.frames; }
    // False for a pipe, whose header cannot promise a length (frames() is then meaningless).
    bool length_known() const { return _length_known; }
    int format() const { return _info.format; }

    // Reads up to `frames` frames, de-interleaved into one buffer per channel; answers the count,
    // which is short only at the end of the file.
    unsigned read(float *const *channels_out, unsigned frames);

private:
    SNDFILE *_file = nullptr;
    SF_INFO _info{};
    std::filesystem::path _path;
    std::vector<float> _chunk;  // interleaved
    std::size_t _chunk_frames = 0, _chunk_used = 0;
    bool _ended = false;
    bool _length_known = true;
};

// The container a WAV output needs: RF64 when the data would not fit the 32-bit sizes of a RIFF
// header, else WAV. Other containers are answered unchanged. `frames` is what will be written;
// negative when unknown, which for WAV means RF64 that falls back to WAV at the end if it fits.
int container_for(int major, long long frames, unsigned channels, int subtype);

class audio_writer {
public:
    // `bits` is "16", "24", "32f" or empty for the format's default (32-bit float where the
    // container holds floats, else the input's own depth, else 24-bit). `expected_frames` (at
    // least what will be written) decides between WAV and RF64. `force` allows replacing an
    // existing destination; without it the final rename is exclusive. For "-" (standard output)
    // `stream_format` names the format by extension ("wav", "flac", ...); empty takes the input's.
    audio_writer(const std::filesystem::path &destination, unsigned channels, double sample_rate,
                 const std::string &bits, int input_format, long long expected_frames, bool force,
                 const std::string &stream_format = "");
    ~audio_writer();  // removes the temporary file unless commit() ran
    audio_writer(const audio_writer &) = delete;
    audio_writer &operator=(const audio_writer &) = delete;

    void write(const float *const *channels_in, unsigned frames);
    // Writes what is buffered, closes the file (the encoder's flush included) and puts it in place.
    void commit();
    // Removes the temporary file.
    void discard();
    // The hidden file being written beside the destination (empty once committed or discarded).
    const std::filesystem::path &temporary() const { return _temporary; }

private:
    // libsndfile's virtual I/O over our descriptor, so that every write's result is seen here
    // (some encoders drop it on their way out).
    static sf_count_t vio_length(void *self);
    static sf_count_t vio_seek(sf_count_t offset, int whence, void *self);
    static sf_count_t vio_read(void *buffer, sf_count_t count, void *self);
    static sf_count_t vio_write(const void *buffer, sf_count_t count, void *self);
    static sf_count_t vio_tell(void *self);
    void flush_chunk();
    void open_stream(SF_INFO &info, const std::string &format_name);
    [[noreturn]] void fail(const std::string &why);

    SNDFILE *_file = nullptr;
    int _fd = -1;
    int _write_errno = 0;  // the first failed write's error
    unsigned _channels = 0;
    bool _force = false;
    bool _stream = false;          // writing standard output
    long long _stream_position = 0;  // bytes written to it, for libsndfile's tell
    bool _stream_sealed = false;     // an encoder tried to go back: what follows is header fix-ups
    std::filesystem::path _destination, _temporary;
    std::vector<float> _chunk;  // interleaved
    std::size_t _chunk_frames = 0;
};

// Refuses an output that would overwrite the input, or an existing file without `force`.
void check_output_path(const std::filesystem::path &input, const std::filesystem::path &output, bool force);

}  // namespace zentrova_cli

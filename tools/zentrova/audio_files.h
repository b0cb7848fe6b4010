// Streaming audio file reading and writing through libsndfile. The writer works on a temporary
// file beside its destination and renames it into place only when the whole job has succeeded,
// so an interrupted or failed run never leaves a partial output behind.
#pragma once

#include <sndfile.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentrova_cli {

class audio_reader {
public:
    explicit audio_reader(const std::filesystem::path &path);  // throws user_error naming the problem
    ~audio_reader();
    audio_reader(const audio_reader &) = delete;
    audio_reader &operator=(const audio_reader &) = delete;

    unsigned channels() const { return static_cast<unsigned>(_info.channels); }
    double sample_rate() const { return _info.samplerate; }
    long long frames() const { return _info.frames; }
    int format() const { return _info.format; }

    // Reads up to `frames` frames, de-interleaved into one buffer per channel; answers the count.
    unsigned read(float *const *channels_out, unsigned frames);

private:
    SNDFILE *_file = nullptr;
    SF_INFO _info{};
    std::filesystem::path _path;
    std::vector<float> _interleaved;
};

class audio_writer {
public:
    // `bits` is "16", "24", "32f" or empty for the format's default (32-bit float where the
    // container holds floats, else the input's own depth, else 24-bit).
    audio_writer(const std::filesystem::path &destination, unsigned channels, double sample_rate,
                 const std::string &bits, int input_format);
    ~audio_writer();  // removes the temporary file unless commit() ran
    audio_writer(const audio_writer &) = delete;
    audio_writer &operator=(const audio_writer &) = delete;

    void write(const float *const *channels_in, unsigned frames);
    // Closes the file and renames it onto the destination.
    void commit();
    // Removes the temporary file (safe to call from the interrupt path).
    void discard();

private:
    SNDFILE *_file = nullptr;
    unsigned _channels = 0;
    std::filesystem::path _destination, _temporary;
    std::vector<float> _interleaved;
};

// Refuses an output that would overwrite the input, or an existing file without `force`.
void check_output_path(const std::filesystem::path &input, const std::filesystem::path &output, bool force);

}  // namespace zentrova_cli

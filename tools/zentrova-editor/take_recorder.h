// The take `--record` writes: the effect's output, handed from the audio thread through a ring to
// the file. Live, a thread of its own drains the ring while the audio plays at real-time pace;
// offline, the renderer drains it after every block itself, so however fast it renders it waits
// for the writer and the whole take is written.
#pragma once

#include "../zentrova/audio_files.h"
#include "record_ring.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentrova_editor {

class take_recorder {
public:
    // Creates the temporary file beside `path` at once (file rules of zentrova process: an
    // existing take is replaced only with `force`, by renaming onto it). `expected_frames` (0 when
    // unknown) decides between WAV and RF64.
    take_recorder(const std::filesystem::path &path, unsigned channels, double rate, int input_format,
                  long long expected_frames, bool force, bool live);
    ~take_recorder();  // a take never finished is removed
    take_recorder(const take_recorder &) = delete;
    take_recorder &operator=(const take_recorder &) = delete;

    record_ring &ring() { return _ring; }
    // [offline] Writes what the last blocks put in the ring.
    void drain_now() { drain(); }
    // Writes everything rendered so far and puts the file in place. Throws user_error when it
    // could not be written, or (after putting it in place) when frames were lost on the way.
    void finish();

private:
    void drain();

    record_ring _ring;
    zentrova_cli::audio_writer _writer;
    std::filesystem::path _path;
    double _rate;
    std::vector<float> _interleaved, _planar;
    std::atomic<bool> _stop{false};
    std::mutex _error_lock;
    std::string _error;  // the writer thread's failure, reported by finish()
    std::thread _thread;
};

}  // namespace zentrova_editor

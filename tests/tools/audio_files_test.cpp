// The decisions the tool makes before writing anything: which container a WAV output needs, and
// where each input of a batch goes.
#include "audio_files.h"
#include "batch_command.h"
#include "cli_errors.h"

#include <gtest/gtest.h>

using namespace zentrova_cli;

TEST(AudioFiles, WavBeyondItsSizeFieldsBecomesRf64) {
    struct container_case {
        int major;
        long long frames;
        unsigned channels;
        int subtype;
        int expected;  // 0: refused
    } cases[] = {
        {SF_FORMAT_WAV, 48000LL * 600, 2, SF_FORMAT_FLOAT, SF_FORMAT_WAV},
        // --tail 3000 on a 192 kHz stereo input: 4.6 GB of float samples.
        {SF_FORMAT_WAV, 192000LL * 3000, 2, SF_FORMAT_FLOAT, SF_FORMAT_RF64},
        // The same frames fit at 24 bits (3.5 GB); 4000 s of them do not.
        {SF_FORMAT_WAV, 192000LL * 3000, 2, SF_FORMAT_PCM_24, SF_FORMAT_WAV},
        {SF_FORMAT_WAV, 192000LL * 4000, 2, SF_FORMAT_PCM_24, SF_FORMAT_RF64},
        {SF_FORMAT_W64, 192000LL * 3000, 2, SF_FORMAT_FLOAT, SF_FORMAT_W64},
        {SF_FORMAT_FLAC, 192000LL * 3000, 2, SF_FORMAT_PCM_24, SF_FORMAT_FLAC},
        {SF_FORMAT_AIFF, 192000LL * 3000, 2, SF_FORMAT_FLOAT, 0},
    };
    for (const auto &c : cases) {
        if (c.expected == 0) {
            EXPECT_THROW(container_for(c.major, c.frames, c.channels, c.subtype), user_error);
            continue;
        }
        EXPECT_EQ(container_for(c.major, c.frames, c.channels, c.subtype), c.expected)
            << std::hex << c.major << " " << std::dec << c.frames << " frames";
    }
}

TEST(AudioFiles, BatchOutputsKeepTheNamesAndRefuseCollisions) {
    batch_options options;
    options.output_folder = "out";
    options.inputs = {"a/take one.wav", "b/take.two.flac", "c/noext"};
    EXPECT_EQ(batch_outputs(options),
              (std::vector<std::filesystem::path>{"out/take one.wav", "out/take.two.flac", "out/noext"}));
    options.format = ".flac";
    EXPECT_EQ(batch_outputs(options),
              (std::vector<std::filesystem::path>{"out/take one.flac", "out/take.two.flac", "out/noext.flac"}));
    options.inputs = {"a/x.wav", "b/x.aiff"};
    EXPECT_THROW(batch_outputs(options), user_error);
}

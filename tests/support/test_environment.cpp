// Linked into every test binary: points the component registry and the tests at this build, so a
// test binary behaves the same under CTest and when run by hand.
#include <cstdlib>

namespace {

struct test_environment {
    test_environment() {
        // Without overwriting: a caller may point a test at another build on purpose.
        setenv("AUDIO_COMPONENT_PATH", ZENTROVA_TEST_BUILD_DIR, 0);
        setenv("ZENTROVA_BUILD_DIR", ZENTROVA_TEST_BUILD_DIR, 0);
        setenv("ZENTROVA_SOURCE_DIR", ZENTROVA_TEST_SOURCE_DIR, 0);
        // The programs a test starts (the command-line tool) get the suppressions below as a file.
        setenv("LSAN_OPTIONS", "suppressions=" ZENTROVA_TEST_SOURCE_DIR "/tests/support/lsan-suppressions.txt", 0);
    }
} const environment;

}  // namespace

// Process-lifetime caches of the font and text libraries are not leaks of ours.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libpango\nleak:libharfbuzz\nleak:libcairo\n";
}

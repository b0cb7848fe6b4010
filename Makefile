# Zentrova: the two commands a newcomer needs are `make demo` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_GEN = -G Ninja
CTEST    = ctest --output-on-failure -j $(JOBS)

.PHONY: all build deps demo test test-asan test-tsan fuzz ci clean install uninstall install-lv2 deb

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# `make install` puts the tools, the component, the LV2 bundle, man pages, completion, desktop entry
# and icon under PREFIX (/usr/local: every search path finds it there without setup; as a user
# without root, PREFIX=~/.local, and `make install-lv2` for the plug-in, since LV2 hosts do not
# look in ~/.local/lib/lv2). DESTDIR stages the tree elsewhere, as packagers do.
PREFIX  ?= /usr/local
DESTDIR ?=
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	scripts/uninstall $(BUILD) "$(DESTDIR)$(PREFIX)"

# The LV2 bundle alone, into ~/.lv2 (or LV2_DIR): it carries everything it needs.
LV2_DIR ?= $(HOME)/.lv2
install-lv2: build
	scripts/install-lv2 $(BUILD) $(LV2_DIR)

# The Debian package, in $(BUILD)/packaging/.
deb: build
	cmake --build $(BUILD) --target deb

demo: deps build
	$(BUILD)/bin/zentrova demo --force out/demo

test: deps build
	cd $(BUILD) && $(CTEST)

# Address + undefined-behaviour sanitizer build of every test.
test-asan: deps
	cmake -S . -B build-asan $(CMAKE_GEN) -DZENTROVA_SANITIZE=address -DZENTROVA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 $(CTEST) -LE noasan

# Thread sanitizer build of the tests that exercise threads (label "tsan"); only their binaries
# are built.
TSAN_TARGETS = platform_cf_thread_tests platform_au_thread_tests framework_stress_test effect_stress_tests lv2_host_tests
test-tsan: deps
	cmake -S . -B build-tsan $(CMAKE_GEN) -DZENTROVA_SANITIZE=thread -DZENTROVA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST) -L tsan

# libFuzzer targets, each for a bounded time (FUZZ_SECONDS per target).
FUZZ_SECONDS ?= 30
FUZZ_TARGETS = $(basename $(notdir $(wildcard tests/fuzz/fuzz_*.cpp)))
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DZENTROVA_FUZZ=ON -DZENTROVA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

ci: test test-asan test-tsan fuzz

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz

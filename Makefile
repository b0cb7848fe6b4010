# Zentrova: the two commands a newcomer needs are `make demo` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_GEN = -G Ninja
CTEST    = ctest --output-on-failure -j $(JOBS)

.PHONY: all build deps demo test test-asan test-tsan fuzz contract ci clean install

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The LV2 plug-in with the component it loads inside it: in ~/.lv2, or PREFIX/lib/lv2.
PREFIX  ?=
LV2_DIR ?= $(if $(PREFIX),$(PREFIX)/lib/lv2,$(HOME)/.lv2)
install: build
	scripts/install-lv2 $(BUILD) $(LV2_DIR)

demo: deps build
	$(BUILD)/bin/zentrova demo out/demo

test: deps build
	cd $(BUILD) && $(CTEST)

# Address + undefined-behaviour sanitizer build of every test.
test-asan: deps
	cmake -S . -B build-asan $(CMAKE_GEN) -DZENTROVA_SANITIZE=address -DZENTROVA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 $(CTEST) -LE noasan

# Thread sanitizer build of the tests that exercise threads (label "tsan"); only their binaries
# are built.
TSAN_TARGETS = platform_cf_thread_tests platform_au_thread_tests framework_stress_test effect_stress_tests
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

# The host contract as the design's own checker runs it, when the shared documents are beside us.
contract:
	@if [ -x ../shared/contract/check ]; then ../shared/contract/check platform/include core listeners bundle prefs; \
	 else echo "contract: ../shared/contract/check not present; the vendored copy runs under make test"; fi

ci: test contract test-asan test-tsan fuzz

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz

# Lumagrove: `make test` builds everything and runs every test; `make demo`
# renders the demo. Both install the Debian packages a fresh machine lacks.

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# What the library, the preview host and the tests need.
DEPS = cmake g++ make pkg-config libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 \
       libgl1-mesa-dri zlib1g-dev libgtest-dev libpng-dev libsndfile1-dev libfftw3-dev \
       libsdl2-dev libcli11-dev libx11-dev ffmpeg xvfb

# The sanitizer and fuzzing build: clang with ASan, UBSan, LSan and libFuzzer.
SAN_BUILD ?= build-sanitize
SAN_DEPS = clang libclang-rt-14-dev
FUZZ_SECONDS ?= 60
SAN_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1

.PHONY: all deps build test demo clean test-sanitize fuzz

all: build

deps:
	@sh cmake/install-deps.sh $(DEPS)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@mkdir -p out
	$(BUILD)/lumagrove-preview --out out/demo.mp4 --sheet out/demo-sheet.png
	@echo "wrote out/demo.mp4 and out/demo-sheet.png"

# Every test again under the sanitizers, then the plug-in fuzzer for FUZZ_SECONDS.
test-sanitize: deps
	@sh cmake/install-deps.sh $(SAN_DEPS)
	CC=clang CXX=clang++ cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLUMAGROVE_SANITIZE=ON -DLUMAGROVE_FUZZ=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -LE win32
	$(MAKE) --no-print-directory fuzz

# New inputs go to a scratch folder; the seeds in tests/fuzz/corpus stay as committed.
fuzz:
	@mkdir -p $(SAN_BUILD)/fuzz-corpus
	$(SAN_ENV) $(SAN_BUILD)/tests/fuzz/plugin_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(SAN_BUILD)/fuzz-corpus tests/fuzz/corpus

clean:
	rm -rf $(BUILD) $(SAN_BUILD) out

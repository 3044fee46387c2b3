# The README's commands. Each one installs what is missing, configures,
# builds and runs; the CMake build directories are build/, build-asan/ and
# build-tsan/ (and build-fuzz/, clang with the sanitizers, for the fuzz targets).
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
STRESS_SECONDS ?= 300
FUZZERS     = message config audit template html writers criteria catalog mail spool cli
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DTARNALERT_WERROR=ON

.PHONY: all deps demo test test-normal test-asan test-tsan test-fuzz fuzz stress bench format clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

$(BUILD_ASAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTARNALERT_SANITIZE=ON

$(BUILD_FUZZ)/build.ninja: | deps
	CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DTARNALERT_SANITIZE=ON -DTARNALERT_BUILD_FUZZ=ON -DTARNALERT_BUILD_TESTS=OFF \
	  -DTARNALERT_BUILD_TOOLS=ON -DTARNALERT_INSTALL=OFF

$(BUILD_TSAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTARNALERT_TSAN=ON

# Builds only what the demo runs, the library and the tool; make test builds
# the tests.
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target tarnalert_tool
	$(BUILD)/tools/tarnalert demo

test: test-normal test-asan test-tsan test-fuzz

test-normal: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS)

test-tsan: deps $(BUILD_TSAN)/build.ninja
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && ctest --output-on-failure -j $(JOBS)

# Every fuzz target once over its seed corpus.
test-fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	cd $(BUILD_FUZZ) && ctest --output-on-failure -j $(JOBS)

# Fuzzes each target for FUZZ_SECONDS; new inputs go to $(BUILD_FUZZ)/corpus/.
fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	for f in $(FUZZERS); do \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$f && \
	  $(BUILD_FUZZ)/fuzz/$${f}_fuzz -max_total_time=$(FUZZ_SECONDS) -close_fd_mask=3 \
	    $(BUILD_FUZZ)/corpus/$$f fuzz/corpus/$$f || exit 1; \
	done

# The crash-consistency test of make test, run for STRESS_SECONDS.
stress: all
	$(BUILD)/crash_consistency $(STRESS_SECONDS) .

bench: deps
	cmake -S . -B $(BUILD)-bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTARNALERT_BUILD_BENCH=ON -DTARNALERT_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	$(BUILD)-bench/bench/tarnalert_bench
	$(BUILD)-bench/bench/tarnalert_mail_bench
	$(BUILD)-bench/bench/tarnalert_road_bench
	$(BUILD)-bench/bench/tarnalert_forward_bench

format:
	git ls-files '*.h' '*.cc' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_FUZZ) $(BUILD)-bench

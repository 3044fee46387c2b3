# The README's commands. Each one installs what is missing, configures,
# builds and runs; the CMake build directories are build/ and build-asan/.
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DTARNALERT_WERROR=ON

.PHONY: all deps demo test test-normal test-asan bench format clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

$(BUILD_ASAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTARNALERT_SANITIZE=ON

demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	$(BUILD)/tools/tarnalert demo

test: test-normal test-asan

test-normal: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DTARNALERT_BUILD_BENCH=ON -DTARNALERT_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	$(BUILD)-bench/bench/tarnalert_bench
	$(BUILD)-bench/bench/tarnalert_road_bench

format:
	git ls-files '*.h' '*.cc' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD)-bench

# Halvenor: the two commands a player or developer needs, over CMake.
#   make play   build the player and start it in the bundled cartridge's folder
#   make test   build and run the whole suite, plain, with ASan+UBSan, and the
#               thread tests under TSan
#   make bench  print the project's speed figures
#   make fuzz   run each fuzz target for FUZZ_SECONDS seconds (clang, libFuzzer)

BUILD       ?= build
BUILD_ASAN  ?= build-asan
BUILD_TSAN  ?= build-tsan
BUILD_FUZZ  ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS        ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: play test bench fuzz deps configure build

deps:
	@sh tools/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

play: build
	cd $(BUILD)/play && ../bin/halvenor

test: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVENOR_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVENOR_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	ctest --test-dir $(BUILD_TSAN) --output-on-failure -L tsan

bench: build
	sh tools/bench.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DHALVENOR_FUZZ=ON -DHALVENOR_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_cartridge fuzz_settings fuzz_registers
	sh fuzz/run.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

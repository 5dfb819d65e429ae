# Halvenor over CMake. The README's commands, `sh play.sh` and `sh test.sh`,
# install what they need, make included, and come here:
#   make play   build the player and its play folder alone, and start it there
#   make test   build and run the whole suite, plain, with ASan+UBSan, and the
#               thread tests under TSan
# and beside them:
#   make bench  print the project's speed figures
#   make fuzz   run each fuzz target for FUZZ_SECONDS seconds (clang, libFuzzer)

BUILD       ?= build
BUILD_ASAN  ?= build-asan
BUILD_TSAN  ?= build-tsan
BUILD_FUZZ  ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS        ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: play test bench fuzz deps-play deps-test

deps-play:
	@sh tools/install-deps.sh play

deps-test:
	@sh tools/install-deps.sh test

# A build first made for playing leaves out the tests and benchmarks, whose
# libraries playing does not install; `make test` and `make bench` turn them
# on in the same build.
$(BUILD)/build.ninja: | deps-play
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALVENOR_TESTS=OFF -DHALVENOR_BENCH=OFF $(CMAKE_FLAGS)

play: deps-play $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target halvenor play_folder
	cd $(BUILD)/play && ../bin/halvenor

test: deps-test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALVENOR_TESTS=ON -DHALVENOR_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVENOR_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVENOR_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	ctest --test-dir $(BUILD_TSAN) --output-on-failure -L tsan

bench: deps-test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALVENOR_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	sh tools/bench.sh $(BUILD)

fuzz: deps-test
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DHALVENOR_FUZZ=ON -DHALVENOR_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_cartridge fuzz_settings fuzz_registers
	sh fuzz/run.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

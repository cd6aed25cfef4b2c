# Thin wrapper over CMake: `make demo` renders the demo, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build demo test bench test-sanitize test-tsan fuzz-smoke clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	./$(BUILD)/app/orvel demo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DORVEL_SANITIZE=ON -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# The engine and node tests again under ThreadSanitizer, with the soak test; only their
# executables are built. The renderer's end-to-end tests are left out: they run the orvel
# executable, whose image libraries are not instrumented.
TSAN_SUITES ?= lens kernel defocus deep trace node soak
empty :=
space := $(empty) $(empty)
test-tsan:
	cmake -S . -B build-tsan -DORVEL_TSAN=ON -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS) --target $(addprefix tests_,$(TSAN_SUITES))
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 $(TSAN_OPTIONS)" \
	  ctest --output-on-failure -j$(JOBS) -L '^($(subst $(space),|,$(TSAN_SUITES)))$$'

# Every libFuzzer target of fuzz/ for FUZZ_SECONDS each, from its seeds, under ASan and UBSan
# (needs clang-14); a crash or a violated property fails with the input saved. Flat frames are
# rendered with both engines, which must agree.
FUZZ_SECONDS ?= 60
fuzz-smoke:
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DORVEL_FUZZ=ON -DORVEL_BUILD_TESTS=OFF \
	  -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz --target fuzz_targets -j$(JOBS)
	ORVEL_FUZZ_ENGINES=1 bash fuzz/smoke.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-tsan

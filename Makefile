# Thin wrapper around CMake. `make test` and `make demo` do all set-up.
#
#   make test        the suite, then again under AddressSanitizer and
#                    UndefinedBehaviorSanitizer, then each fuzzer briefly
#   make test-fast   the suite only (ThreadSanitizer's thread tests included)
#   make format-check  every C++ source laid out as .clang-format says (run by
#                    make test); make format rewrites them so
#   make sanitize    the sanitizer build and its run of the suite
#   make fuzz        each fuzzer for FUZZ_SECONDS seconds (default 600)
#   make valgrind    the demo (until then a test program) under valgrind
#   make bench       the benchmarks against their peers in a Release build,
#                    one table and $(BUILD_DIR)/bench/results.json (bench/README.md;
#                    BENCH_ARGS="--only data --rounds 5" for a part)
#   make docs        the API reference of the public headers (Doxygen) in
#                    $(BUILD_DIR)/docs/html; fails on any Doxygen warning (the
#                    suite's test ApiReference checks the same)
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= 2
# The sanitizer build: optimised a little (the suite runs several times
# faster than at -O0), line tables only, no benchmarks.
ASAN_DIR ?= build-asan
ASAN_FLAGS ?= -O1 -g1
# The fuzz build (clang): the stand-in libraries and the fuzzers only.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_SMOKE_SECONDS ?= 15
# The benchmark build: CMake's Release flags (no -march=native). Without
# -Werror: GCC 12 reports false -Wrestrict warnings in <string> at -O3.
BENCH_DIR ?= build-release
BENCH_FLAGS ?=
# Debian's interpreter, which sees the python3-pandas package.
BENCH_PYTHON ?= /usr/bin/python3

.PHONY: all deps configure build test test-fast format format-check sanitize sanitize-build fuzz fuzz-build fuzz-smoke \
        valgrind demo bench docs clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKVO_WERROR=ON $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: format-check test-fast
	@$(MAKE) --no-print-directory sanitize
	@$(MAKE) --no-print-directory fuzz-smoke

# The C++ sources git knows, laid out by clang-format.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

format: deps
	clang-format -i $(FORMAT_FILES)

test-fast: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

$(ASAN_DIR)/build.ninja:
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=$(ASAN_FLAGS)" \
	  -DKVO_SANITIZE=address,undefined -DKVO_WERROR=ON -DKVO_BUILD_BENCH=OFF -DKVO_TSAN_TESTS=OFF $(CMAKE_FLAGS)

sanitize-build: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)

# The options are also set on every test by tests/CMakeLists.txt; here they
# reach programs that a test starts in turn.
sanitize: sanitize-build
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

$(FUZZ_DIR)/build.ninja:
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DKVO_BUILD_FUZZ=ON -DKVO_BUILD_TESTS=OFF -DKVO_BUILD_BENCH=OFF \
	  -DKVO_BUILD_TOOLS=OFF

fuzz-build: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers

fuzz-smoke: fuzz-build
	FUZZ_JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_DIR) $(FUZZ_SMOKE_SECONDS)

fuzz: fuzz-build
	FUZZ_JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

valgrind: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L valgrind

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

# Configured each time, so that a build directory of another type is put right.
bench:
	@bash scripts/install-deps.sh --bench
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVO_BUILD_BENCH=ON -DKVO_BUILD_TOOLS=ON \
	  -DKVO_BUILD_TESTS=OFF -DKVO_BUILD_FUZZ=OFF -DKVO_SANITIZE= -DKVO_WERROR=ON $(BENCH_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS)
	$(BENCH_PYTHON) bench/run.py --build $(BENCH_DIR) --results $(BUILD_DIR)/bench/results.json $(BENCH_ARGS)

docs: deps
	@bash scripts/api-reference.sh $(BUILD_DIR)/docs

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(BENCH_DIR)

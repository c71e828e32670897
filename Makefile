# The two commands of the README, and the developer targets behind them.
# Every target installs what is missing, configures and builds first.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
RELEASE_BUILD ?= build-release
BENCH_ARGS ?=

SAN_BUILD ?= build-sanitize
# A failed allocation must come back as null (the tool reports it), not abort.
SAN_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps build test test-sanitize demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTRACEWRIGHT_SANITIZE=ON -DTRACEWRIGHT_BENCH=OFF >/dev/null
	cmake --build $(SAN_BUILD) -j $(JOBS)
	$(SAN_ENV) ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

# The end-to-end benchmark (bench/README.md): a Release build of its own,
# a generated corpus inside it, the peers (can-utils, python3-can), the timer
# (time) and Google Benchmark for the micro-benchmarks installed when missing.
bench:
	@scripts/install-deps time libbenchmark-dev
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DTRACEWRIGHT_TESTS=OFF \
	  -DTRACEWRIGHT_BENCH=ON >/dev/null
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	python3 bench/run_bench.py --build $(RELEASE_BUILD) $(BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(RELEASE_BUILD)

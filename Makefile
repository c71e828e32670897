# The two commands of the README, and the developer targets behind them.
# Every target installs what is missing, configures and builds first.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
RELEASE_BUILD ?= build-release
BENCH_ARGS ?=

.PHONY: all deps build test demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

# The end-to-end benchmark (bench/README.md): a Release build of its own,
# a generated corpus inside it, the peers installed by deps.
bench: deps
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DTRACEWRIGHT_TESTS=OFF \
	  -DTRACEWRIGHT_BENCH=ON >/dev/null
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	python3 bench/run_bench.py --build $(RELEASE_BUILD) $(BENCH_ARGS)

clean:
	rm -rf $(BUILD)

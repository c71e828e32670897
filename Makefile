# The two commands of the README, and the developer targets behind them.
# Every target installs what is missing, configures and builds first. The
# tool's own targets (demo, install, package) build the tool alone and need
# none of the test packages.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
# ON turns compiler warnings into errors (CI sets it).
WERROR ?= OFF
PREFIX ?= /usr/local
DESTDIR ?=
RELEASE_BUILD ?= build-release
BENCH_ARGS ?=

SAN_BUILD ?= build-sanitize
# A failed allocation must come back as null (the tool reports it), not abort.
SAN_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

FUZZ_BUILD ?= build-fuzz
# Seconds of fuzzing per target.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = text_log_reader convert_file asc_lines

.PHONY: all deps build test test-sanitize check-format fuzz demo tool install uninstall package bench clean

# Configures quietly, but shows the whole output when configuring fails.
# $(1): build folder, $(2): options.
define configure
	@mkdir -p $(1)
	@cmake -S . -B $(1) $(2) >$(1)/configure.log 2>&1 || { cat $(1)/configure.log; exit 1; }
endef

all: build

deps:
	@scripts/install-deps

build: deps
	$(call configure,$(BUILD),-DTRACEWRIGHT_TESTS=ON -DTRACEWRIGHT_BENCH=ON -DTRACEWRIGHT_WERROR=$(WERROR) $(CMAKE_FLAGS))
	cmake --build $(BUILD) -j $(JOBS)

# The tool alone: no tests, no benchmarks, none of their packages.
tool:
	@scripts/install-deps --tool
	$(call configure,$(BUILD),-DTRACEWRIGHT_TESTS=OFF -DTRACEWRIGHT_BENCH=OFF $(CMAKE_FLAGS))
	cmake --build $(BUILD) -j $(JOBS) --target tracewright

# Installs under $(DESTDIR)$(PREFIX), with sudo when that is not writable.
install: tool
	@target="$(DESTDIR)$(PREFIX)"; while [ ! -e "$$target" ]; do target=$$(dirname "$$target"); done; \
	sudo=""; if [ ! -w "$$target" ] && [ "$$(id -u)" -ne 0 ]; then sudo=sudo; fi; \
	echo "DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)"; \
	DESTDIR="$(DESTDIR)" $$sudo cmake --install $(BUILD) --prefix "$(PREFIX)" && \
	cp $(BUILD)/install_manifest.txt $(BUILD)/installed_files.txt

# Removes what the last `make install` put in place (give it the same
# DESTDIR: the list holds the paths without it). Its own copy of the list,
# because making the package rewrites install_manifest.txt with the package's
# paths, which belong to dpkg.
uninstall:
	@test -f $(BUILD)/installed_files.txt || { echo "nothing installed from $(BUILD)"; exit 1; }
	@sudo=""; if [ "$$(id -u)" -ne 0 ]; then sudo=sudo; fi; \
	while read -r f || [ -n "$$f" ]; do f="$(DESTDIR)$$f"; \
	  if [ -w "$$(dirname "$$f")" ]; then rm -f "$$f"; else $$sudo rm -f "$$f"; fi; \
	  echo "removed $$f"; done <$(BUILD)/installed_files.txt; \
	rm -f $(BUILD)/installed_files.txt

# The Debian package tracewright_<version>_<arch>.deb in $(BUILD); its
# Depends line comes from dpkg-shlibdeps.
package: tool
	@scripts/install-deps --tool dpkg-dev file
	cd $(BUILD) && cpack -G DEB

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Every C++ source laid out as .clang-format says; FIX=1 rewrites them.
check-format:
	@scripts/install-deps --tool clang-format
	@if [ -n "$(FIX)" ]; then git ls-files '*.cc' '*.h' | xargs clang-format -i; \
	 else git ls-files '*.cc' '*.h' | xargs clang-format --dry-run -Werror; fi

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	$(call configure,$(SAN_BUILD),-DCMAKE_BUILD_TYPE=Debug -DTRACEWRIGHT_SANITIZE=ON -DTRACEWRIGHT_BENCH=OFF -DTRACEWRIGHT_WERROR=$(WERROR) $(CMAKE_FLAGS))
	cmake --build $(SAN_BUILD) -j $(JOBS)
	$(SAN_ENV) ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# Each libFuzzer target in turn, for FUZZ_SECONDS seconds. The working corpus
# grows in $(FUZZ_BUILD)/corpus/<target>, seeded from the committed corpus in
# tests/fuzz/corpus/<target>; a crash, leak or hang stops the run and leaves
# its input in $(FUZZ_BUILD)/artifacts/<target>/ (add it to the committed
# corpus once fixed, so the test suite replays it).
fuzz:
	@scripts/install-deps clang libclang-rt-14-dev
	$(call configure,$(FUZZ_BUILD),-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	      -DTRACEWRIGHT_FUZZ=ON -DTRACEWRIGHT_TESTS=OFF -DTRACEWRIGHT_BENCH=OFF)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzzer)
	@set -e; for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target $(FUZZ_BUILD)/artifacts/$$target; \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/tests/fuzz/$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -rss_limit_mb=2048 -print_final_stats=1 -dict=tests/fuzz/text_log.dict \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$target/ \
	    $(FUZZ_BUILD)/corpus/$$target tests/fuzz/corpus/$$target \
	    2>$(FUZZ_BUILD)/fuzz-$$target.log || { tail -40 $(FUZZ_BUILD)/fuzz-$$target.log; exit 1; }; \
	  grep -E '^(Done|stat::)' $(FUZZ_BUILD)/fuzz-$$target.log; \
	  echo "corpus: $$(ls $(FUZZ_BUILD)/corpus/$$target | wc -l) files"; \
	done

demo: tool
	@scripts/demo $(BUILD)

# The end-to-end benchmark (bench/README.md): a Release build of its own,
# a generated corpus inside it, the peers (can-utils, python3-can), the timer
# (time) and Google Benchmark for the micro-benchmarks installed when missing.
bench:
	@scripts/install-deps time libbenchmark-dev
	$(call configure,$(RELEASE_BUILD),-DCMAKE_BUILD_TYPE=Release -DTRACEWRIGHT_TESTS=OFF \
	  -DTRACEWRIGHT_BENCH=ON)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	python3 bench/run_bench.py --build $(RELEASE_BUILD) $(BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD)

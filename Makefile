# Ketra: `make run` builds and starts the program, `make test` builds and runs every test.
# Both first install the Debian packages the project needs (scripts/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
# The trees are unity builds (the files of a target compiled a few at a time): the main tree
# compiles in about half the time. UNITY=OFF, given when a tree is first configured, builds
# it file by file, which rebuilds less after a change to one file.
UNITY      ?= ON

.PHONY: all deps configure build run run-wayland test test-main build-asan test-asan build-tsan test-tsan build-fuzz test-fuzz test-side check fuzz bench package check-package clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_UNITY_BUILD=$(UNITY)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

# Starts Ketra on the program's own folder. Ketra needs a display: under a bare
# terminal with no X server, run it as `xvfb-run -a make run`.
run: build
	@if [ -x $(BUILD)/bin/ketra ]; then \
	    $(BUILD)/bin/ketra; \
	else \
	    $(BUILD)/bin/treescan size $(BUILD)/bin; \
	fi

# Starts Ketra in a Wayland session of its own: weston's window on this X display.
run-wayland: build
	scripts/wayland-session.sh --backend x11 --here --timeout 0 -- $(BUILD)/bin/ketra

# The sanitizer tree is built with clang: unoptimised and instrumented, as a unity build, it compiles
# in about a third of the time gcc takes file by file.
$(ASAN_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKETRA_SANITIZE=ON -DKETRA_DISPLAY_TESTS=OFF -DCMAKE_UNITY_BUILD=$(UNITY)

$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKETRA_TSAN=ON -DKETRA_LIB_ONLY=ON -DCMAKE_UNITY_BUILD=$(UNITY)

# Xvfb runs with -noreset: by default it resets when its last client leaves, and then refuses the
# next test's connection for a moment.
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"

test-main: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

# Every test that needs no display again, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (the tests that need one are not built there).
build-asan: deps $(ASAN_BUILD)/build.ninja
	$(SIDE_NICE) cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600 -LE '^(gui|gl)$$'

# The scanning library's tests again, built with ThreadSanitizer.
build-tsan: deps $(TSAN_BUILD)/build.ninja | $(if $(SIDE_ORDER),build-fuzz)
	$(SIDE_NICE) cmake --build $(TSAN_BUILD) -j $(JOBS)

test-tsan: build-tsan | $(if $(SIDE_ORDER),test-fuzz)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600

# The fuzz targets (fuzz/), built with clang in a build folder of their own.
$(FUZZ_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKETRA_FUZZ=ON -DCMAKE_UNITY_BUILD=$(UNITY)

# Each fuzz target tries a fixed number of inputs from a fixed seed.
build-fuzz: deps $(FUZZ_BUILD)/build.ninja | $(if $(SIDE_ORDER),build-asan)
	$(SIDE_NICE) cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

test-fuzz: build-fuzz | $(if $(SIDE_ORDER),test-asan)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS) --timeout 600

# Fuzzing for as long as wanted: each of FUZZ_TARGETS in turn for FUZZ_SECONDS (0: until stopped
# with Ctrl+C). New inputs are kept in $(FUZZ_BUILD)/fuzz-corpus/<target>, and
# an input that fails is saved there as crash-*, leak-*, timeout-* or oom-*. For example:
#   make fuzz FUZZ_TARGETS=fuzz_xfile FUZZ_SECONDS=0
FUZZ_TARGETS ?= fuzz_data_table fuzz_xfile fuzz_ext_colours fuzz_settings fuzz_folder_cache fuzz_scan_file
FUZZ_SECONDS ?= 600
fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@for t in $(FUZZ_TARGETS); do \
	    echo "== $$t for $(FUZZ_SECONDS) s"; \
	    mkdir -p $(FUZZ_BUILD)/fuzz-corpus/$$t; \
	    QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    $(FUZZ_BUILD)/bin/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
	        -rss_limit_mb=2048 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/fuzz-corpus/ $(FUZZ_BUILD)/fuzz-corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

# The main tree beside the others, so that both cores stay busy (the window tests run one at a time):
# the sanitizer, fuzz and ThreadSanitizer trees are built one after the other at a lower priority, so
# the main tree's build and its one-at-a-time tests come first and the others' builds fill the idle
# core. A side tree's tests run at the usual priority when its build and the tests of the tree
# before it have ended, beside the next tree's build. Each step's output is printed when it ends.
test: deps
	$(MAKE) --no-print-directory -j2 --output-sync=target test-main test-side

test-side:
	$(MAKE) --no-print-directory -j2 --output-sync=target SIDE_NICE="nice -n 10" SIDE_ORDER=1 \
	    test-asan test-fuzz test-tsan

# What CI runs: the whole test suite and the package check, the package made beside the main tree's
# tests.
check: deps
	$(MAKE) --no-print-directory -j3 --output-sync=target test-main check-package test-side

# The Debian package (CPack) of the build, into $(BUILD)/ketra_VERSION_ARCH.deb; then lintian and a
# look at what it holds and depends on.
package: build
	cmake --build $(BUILD) --target package

check-package: package
	packaging/check-package.sh $(BUILD)

# Benchmarks and the render demo (bench/): built on request, never run by the tests.
bench: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)

# Ketra: `make run` builds and starts the program, `make test` builds and runs every test.
# Both first install the Debian packages the project needs (scripts/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps configure build run test test-main test-asan test-tsan bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

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

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKETRA_SANITIZE=ON

$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKETRA_TSAN=ON -DKETRA_LIB_ONLY=ON

# Xvfb runs with -noreset: by default it resets when its last client leaves, and then refuses the
# next test's connection for a moment.
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"

test-main: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

# Every test that needs no display again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600 -LE '^(gui|gl)$$'

# The scanning library's tests again, built with ThreadSanitizer.
test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600

test: test-main test-asan test-tsan

# Benchmarks and the render demo (bench/): built on request, never run by the tests.
bench: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

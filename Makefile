# make demo: set up, build and run `varnel demo`, the round trip on built-in services.
# make test: set up, build and run every test.
# make sanitize / tsan / valgrind: the suite under the sanitizers and memcheck.
# make bench: the benchmarks beside their floors; prints the table.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap configure build demo test sanitize tsan valgrind fuzz bench clean

all: build

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	$(BUILD_DIR)/tools/varnel/varnel demo

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Each sanitizer build has its own folder; benchmarks are not run there.
SANITIZE_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
TSAN_FLAGS := -fsanitize=thread -fno-omit-frame-pointer
# GCC 12 sees uninitialised members inside <regex> once instrumented.
SANITIZE_QUIET := -Wno-maybe-uninitialized
# configure-sanitized(folder, flags)
configure-sanitized = cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVARNEL_BUILD_BENCHMARKS=OFF \
	"-DCMAKE_C_FLAGS=$(2) $(SANITIZE_QUIET)" "-DCMAKE_CXX_FLAGS=$(2) $(SANITIZE_QUIET)" \
	"-DCMAKE_EXE_LINKER_FLAGS=$(2)" "-DCMAKE_SHARED_LINKER_FLAGS=$(2)" "-DCMAKE_MODULE_LINKER_FLAGS=$(2)"

sanitize: bootstrap
	$(call configure-sanitized,$(SANITIZE_DIR),$(SANITIZE_FLAGS))
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

tsan: bootstrap
	$(call configure-sanitized,$(TSAN_DIR),$(TSAN_FLAGS))
	cmake --build $(TSAN_DIR) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS)

valgrind: build
	@scripts/bootstrap valgrind
	scripts/valgrind-tests $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(BENCH_DIR)

# make bench: builds varnel_bench in its own folder and runs every case
# (about 3 minutes); the table goes to the terminal and, with the JSON, to
# bench/results/latest.{md,json}. BENCH_REPETITIONS=N for more runs per case.
BENCH_DIR ?= build-bench
bench: bootstrap
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_BUILD_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target varnel_bench
	bench/run $(BENCH_DIR)

# make fuzz FUZZ_SECONDS=N: builds the libFuzzer targets with clang and runs
# each for N seconds on a copy of its seed corpus (fuzz/corpus/<target>).
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := read_message load_description converters log_configuration dom
fuzz:
	@scripts/bootstrap fuzz
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_BUILD_FUZZERS=ON \
	  -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$target && \
	  $(FUZZ_DIR)/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 \
	    $(FUZZ_DIR)/corpus/$$target fuzz/corpus/$$target || exit 1; \
	done

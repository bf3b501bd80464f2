# The two commands of the README:
#   make run   -- installs what is missing, builds, starts the game
#   make test  -- installs what is missing, builds, runs every test
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
# Seconds of new inputs per fuzz target (CI runs them for 60).
FUZZ_SECONDS ?= 180
JOBS       ?= $(shell nproc)
# -noreset: otherwise the server resets whenever its last client leaves and
# refuses the next window test that connects meanwhile.
XVFB       := xvfb-run -a -s "-screen 0 1920x1080x24 -noreset"

.PHONY: run test test-whole test-sanitize deps configure build build-game build-sanitize bench clean build-fuzz fuzz test-tsan

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the game: the tests and benchmarks are not needed to play it.
build-game: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tazzle

# The package check's and the build's lines go to standard error: standard
# output carries the game's own lines only (`make run | head -n 1`, `make
# run >/dev/full`).
run:
	@$(MAKE) --no-print-directory build-game >&2
	@bash scripts/run-game.sh ./$(BUILD)/tazzle

test: build
	@cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS)

# The unit tests once more, all in one process, in a shuffled order and
# twice over: ctest gives every test a process of its own, which hides a
# test that leaves something behind for the next, or for its own second
# run. The seed is printed; SEED=n replays an order.
test-whole: build
	@seed=$(if $(SEED),$(SEED),$$(shuf -i 1-99999 -n 1)); \
	  echo "Unit tests in one process, shuffled with seed $$seed and run twice (make test-whole SEED=$$seed replays it)"; \
	  ./$(BUILD)/tests/tazzle_tests --gtest_shuffle --gtest_random_seed=$$seed --gtest_repeat=2 || \
	  { echo "Failed in the order of seed $$seed (make test-whole SEED=$$seed)"; exit 1; }

build-sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAZZLE_SANITIZE=ON -DTAZZLE_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# Mesa's shader disk cache thread trips the address sanitizer inside the
# software rasterizer now and then; it is not ours, so it is off here.
test-sanitize: build-sanitize
	@cd $(ASAN_BUILD) && MESA_SHADER_CACHE_DISABLE=true ASAN_OPTIONS=abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(XVFB) ctest --output-on-failure -j $(JOBS)

build-fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAZZLE_FUZZ=ON -DTAZZLE_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Under Xvfb: the level target loads maps into a GL context of its own, as
# the game does (tile layers and tilesets are filled only with one).
fuzz: build-fuzz
	@LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp MESA_SHADER_CACHE_DISABLE=true \
	  $(XVFB) bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The script watcher is the one thread that shares the engine's data with
# the main thread (the watchdog's thread shares only atomics): its tests run
# under ThreadSanitizer.
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAZZLE_TSAN=ON \
	  -DTAZZLE_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target tazzle_watcher_tests
	@cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 \
	  ./tests/tazzle_watcher_tests --gtest_filter='ScriptRegistryTest.*'

bench: build
	@bash scripts/install-deps.sh love
	@for b in $(BUILD)/bench/bench_*; do \
	  if [ -f $$b ] && [ -x $$b ]; then echo "== $$b (load average $$(cut -d' ' -f1-3 /proc/loadavg))"; \
	    $(XVFB) $$b || exit 1; fi; \
	done
	@for s in bench/bench_*.py; do \
	  echo "== $$s (load average $$(cut -d' ' -f1-3 /proc/loadavg))"; \
	  $(XVFB) python3 $$s $(BUILD) || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)

# The two commands of the README:
#   make run   -- installs what is missing, builds, starts the game
#   make test  -- installs what is missing, builds, runs every test
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
# -noreset: otherwise the server resets whenever its last client leaves and
# refuses the next window test that connects meanwhile.
XVFB       := xvfb-run -a -s "-screen 0 1920x1080x24 -noreset"

.PHONY: run test test-sanitize deps configure build build-game build-sanitize bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the game: the tests and benchmarks are not needed to play it.
build-game: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tazzle

run: build-game
	@if [ -n "$$DISPLAY" ]; then ./$(BUILD)/tazzle; else $(XVFB) ./$(BUILD)/tazzle; fi

test: build
	@cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS)

build-sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAZZLE_SANITIZE=ON -DTAZZLE_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test-sanitize: build-sanitize
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(XVFB) ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do \
	  if [ -f $$b ] && [ -x $$b ]; then echo "== $$b"; $(XVFB) $$b || exit 1; fi; \
	done
	@for s in bench/bench_*.py; do \
	  echo "== $$s"; $(XVFB) python3 $$s $(BUILD) || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

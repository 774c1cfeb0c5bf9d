# The README's commands. Everything goes through CMake: ./build for the
# program and the tests, ./build-sanitize for the ASan+UBSan run,
# ./build-fuzz for the libFuzzer targets (clang).
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
JOBS ?= $(shell nproc)
WERROR ?= $(or $(CELARIS_WERROR),ON)
# `make test` runs each fuzz target this long; `make fuzz` as long as asked.
FUZZ_SMOKE_SECONDS ?= 5
FUZZ_SECONDS ?= 60
FUZZERS := alpaca_request indi_xml sexagesimal settings calibration_file
FUZZER ?= $(FUZZERS)

# Build output is kept in a log and shown only when the build fails.
quietly = log=$(1)/build.log; mkdir -p $(1); if ! $(2) >$$log 2>&1; then cat $$log; \
  echo "Build failed; the full output is in $$log" >&2; exit 1; fi

.PHONY: deps configure build build-quiet test bench run install clean format format-check \
        sanitize fuzz-build fuzz fuzz-smoke

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELARIS_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

build-quiet: configure
	@$(call quietly,$(BUILD_DIR),cmake --build $(BUILD_DIR) -j $(JOBS))

test: build fuzz-build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600
	@$(MAKE) --no-print-directory fuzz-smoke

bench: build
	@for b in $(BUILD_DIR)/bin/bench_*; do [ -x "$$b" ] && "$$b"; done

# The program on the built-in simulator: with its windows when there is a
# display, headless otherwise. The build speaks only when it fails.
run: build-quiet
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	  echo "Starting Celaris with its windows on the built-in mount simulator."; \
	else \
	  echo "No display: starting the Celaris hub headless on the built-in mount simulator (Ctrl+C stops it)."; \
	fi
	@echo "Alpaca clients on this machine: http://127.0.0.1:11111/ (Telescope 0); setup page http://127.0.0.1:11111/setup"
	@echo "INDI clients (KStars/Ekos, Stellarium, PHD2): in another terminal, indiserver $(CURDIR)/$(BUILD_DIR)/bin/indi_celaris_telescope"
	@$(BUILD_DIR)/bin/celaris --driver Celaris.Simulator

install: build
	@cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

# The whole suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails the test that caused it.
sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELARIS_WERROR=$(WERROR) \
	  -DCELARIS_SANITIZE=ON >/dev/null
	@$(call quietly,$(SANITIZE_DIR),cmake --build $(SANITIZE_DIR) -j $(JOBS))
	@cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900

fuzz-build: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DCELARIS_FUZZ=ON >/dev/null
	@$(call quietly,$(FUZZ_DIR),cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers)

# Every target for FUZZ_SMOKE_SECONDS, from the kept corpus; a crash fails.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS) FUZZER="$(FUZZERS)"

# By hand: make fuzz FUZZER=indi_xml FUZZ_SECONDS=3600. Starts from the kept
# inputs in fuzz/corpus/<name>; new ones go to $(FUZZ_DIR)/corpus, crashes
# to $(FUZZ_DIR)/crashes (see fuzz/README.md).
fuzz: fuzz-build
	@mkdir -p $(FUZZ_DIR)/crashes
	@set -e; for f in $(FUZZER); do \
	  scripts/run-fuzzer $(FUZZ_DIR)/bin/fuzz_$$f fuzz/corpus/$$f \
	    $(FUZZ_SECONDS) $(FUZZ_DIR)/crashes; \
	done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@bash scripts/check-format

clean:
	@rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)

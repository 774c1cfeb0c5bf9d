# The README's commands. Everything goes through CMake in ./build.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
WERROR ?= $(or $(CELARIS_WERROR),ON)

.PHONY: deps configure build test bench run install clean format

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELARIS_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

bench: build
	@for b in $(BUILD_DIR)/bin/bench_*; do [ -x "$$b" ] && "$$b"; done

# The program on the built-in simulator: with its windows when there is a
# display, headless otherwise.
run: build
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

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR)

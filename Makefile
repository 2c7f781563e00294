# Korvalin: `make` builds everything and the run folder, `make run` plays the demo,
# `make test` runs the whole suite headless. Each installs missing Debian packages first.
# The program's standard output (the 3DS loader's trace) goes to demo/korvalin.log; its standard
# error, where the messages that matter go, stays on the terminal.
BUILD ?= build
RUNS ?= 10000000
# --help and --version answer on standard output, so those stay on the terminal; `make run LOG=`
# keeps the trace there as well.
LOG = $(if $(filter --help --version,$(ARGS)),,>korvalin.log)
GENERATOR := Ninja

.PHONY: all deps build run editor video test bench fuzz-long clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi
	@cmake --build $(BUILD)

run: build
	@if [ ! -x $(BUILD)/korvalin ]; then echo "korvalin: the program is not built yet" >&2; exit 1; fi
	cd demo && ../$(BUILD)/korvalin $(ARGS) $(LOG)

editor: build
	cd demo && ../$(BUILD)/korvalin --editor $(ARGS) $(LOG)

# The whole demo written to demo.mp4 (OUT= picks another file, ARGS= adds export options);
# a file already there is replaced, as any target's output is.
OUT ?= demo.mp4
video: build
	cd demo && ../$(BUILD)/korvalin --export $(abspath $(OUT)) --force $(ARGS) $(LOG)

test: build
	@bash scripts/test.sh $(BUILD)

# Each fuzz target for RUNS inputs (FUZZERS="bmp 3ds" picks some), its corpus kept in
# build-fuzz/corpus/<target>/ from one call to the next.
fuzz-long: deps
	@nice bash scripts/fuzz.sh --runs $(RUNS) $(FUZZERS)

bench: build
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-fuzz

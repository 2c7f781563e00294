# Korvalin: `make` builds everything and the run folder, `make run` plays the demo,
# `make test` runs the whole suite headless. Each installs missing Debian packages first.
BUILD ?= build
GENERATOR := Ninja

.PHONY: all deps build run editor test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi
	@cmake --build $(BUILD)

run: build
	@if [ ! -x $(BUILD)/korvalin ]; then echo "korvalin: the program is not built yet" >&2; exit 1; fi
	cd demo && ../$(BUILD)/korvalin $(ARGS)

editor: build
	cd demo && ../$(BUILD)/korvalin --editor $(ARGS)

test: build
	@bash scripts/test.sh $(BUILD)

bench: build
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-fuzz

# Entry points. `make test` is what CI runs: install what is missing, configure, build, run every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test clean

all: build

deps:
	scripts/setup-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

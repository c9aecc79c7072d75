# Entry points. `make test` is what CI runs: install what is missing, configure, build, run every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-sanitize clean

all: build

deps:
	scripts/setup-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
SANITIZE_BUILD ?= build-sanitize
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSARNAVEL_SANITIZE=ON -DSARNAVEL_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) -LE e2e

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)

# Converts a copy of samples/site to UTF-8 in a temporary folder and shows the result.
.PHONY: demo
demo: build
	BUILD=$(BUILD) scripts/demo

# Opens the desktop program with a temporary copy of samples/site in its list.
.PHONY: run
run: configure
	cmake --build $(BUILD) --target sarnavel -j $(JOBS)
	@site=$$(mktemp -d -t sarnavel-site-XXXXXX); \
	if [ -d samples/site ]; then cp -R samples/site/. "$$site"/; fi; \
	echo "sarnavel: the sample site is copied to $$site"; \
	$(BUILD)/src/ui/sarnavel "$$site"

# Installs the desktop program, sarnavel-cli, the icons and the desktop entry under PREFIX.
PREFIX ?= /usr/local
.PHONY: install
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Every fuzz target for FUZZ_SECONDS from its seed corpus (clang with libFuzzer; see fuzz/).
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) fuzz/run-fuzz

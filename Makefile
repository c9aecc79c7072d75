# Entry points. `make test` is what CI runs (after `make check-format`): install what is missing,
# configure, build, run every test but the package test (`make test-package`, which CI runs
# after the others).
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-sanitize coverage clean bench check-format

all: build

deps:
	scripts/setup-deps

# The benchmarks stay out of the test builds, also in a folder whose cache still has them on.
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARNAVEL_BENCH=OFF

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE package

# Every C and C++ file of src/, tests/, bench/ and fuzz/ laid out as .clang-format says (CI runs
# it first); `scripts/check-format --fix` formats the files it names.
check-format: deps
	scripts/check-format

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
SANITIZE_BUILD ?= build-sanitize
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSARNAVEL_SANITIZE=ON -DSARNAVEL_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) -LE 'e2e|package'

# Line and branch coverage of src/ for the whole suite but the browser suite and the package
# tests: an unoptimised build with gcc's coverage flags in its own folder, then gcovr's summary.
# Branches the compiler adds for exceptions, and those it proved unreachable, are not counted.
# The tests run one at a time, and the counters' folders and files are open to every user:
# with two at once, or a program run as another user, counter files came out in mismatch
# ("Merge mismatch") and whole tests' runs went uncounted (figures 2-4 points low).
# Counters of threads and of killed processes can come out inconsistent (gcov then prints a
# negative count, which gcovr skips instead of stopping: atomic counters would make the
# time-limited tests too slow). A program
# writes its coverage data when it exits: the few tests whose child runs under a file-size
# limit or as another user see that write fail (a signal, or words on standard error) and fail
# here only; they are named, and the figures are printed all the same. `make test` is the gate.
COVERAGE_BUILD ?= build-coverage
coverage: deps
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSARNAVEL_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage"
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	find $(COVERAGE_BUILD) -type d -exec chmod a+rwx {} +
	-umask 0 && ctest --test-dir $(COVERAGE_BUILD) -j 1 -LE 'e2e|package' | grep -E 'tests passed|Failed|Timeout|Not Run'
	gcovr --root . --filter 'src/' --object-directory $(COVERAGE_BUILD) \
	  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors --txt $(COVERAGE_BUILD)/coverage.txt --print-summary
	@echo "coverage: per file in $(COVERAGE_BUILD)/coverage.txt"

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(COVERAGE_BUILD)

# Every speed and memory goal in one run, each a ratio against a peer measured beside it:
# bench/site on the generated and the documentation trees, the byte converter against ICU,
# iconv and encoding_rs, tiny pages, the disk (15-20 minutes; installs the benchmarks' own
# packages, builds the cli and the benchmarks in Release into build-site, the only build folder
# with the benchmarks on). Options through BENCH_FLAGS, e.g. BENCH_FLAGS="--tree docs".
BENCH_FLAGS ?=
bench: deps
	python3 bench/site $(BENCH_FLAGS)

# Converts a copy of samples/site to UTF-8 in a temporary folder and shows the result: builds
# the command-line tool alone (a minute), not the tests or the desktop program.
.PHONY: demo
demo: configure
	cmake --build $(BUILD) --target sarnavel-cli -j $(JOBS)
	BUILD=$(BUILD) scripts/demo

# Opens the desktop program with a temporary copy of samples/site in its list.
.PHONY: run
run: configure
	cmake --build $(BUILD) --target sarnavel -j $(JOBS)
	@site=$$(mktemp -d -t sarnavel-site-XXXXXX); \
	if [ -d samples/site ]; then cp -R samples/site/. "$$site"/; fi; \
	echo "sarnavel: the sample site is copied to $$site"; \
	$(BUILD)/src/ui/sarnavel "$$site"

# Installs both programs, their manual pages, the bash completion, the desktop entry, the
# AppStream description and the icons under $(DESTDIR)$(PREFIX); `make uninstall` removes what
# the last `make install` from $(BUILD) put there, files and the folders it created.
PREFIX ?= /usr/local
DESTDIR ?=
.PHONY: install uninstall
install: build
	DESTDIR="$(DESTDIR)" scripts/install-tree install "$(BUILD)" "$(PREFIX)"

uninstall:
	scripts/install-tree uninstall "$(BUILD)"

# The Debian package, built with dpkg-buildpackage from a copy of the tree and checked with
# lintian: $(BUILD)/deb/sarnavel_VERSION_ARCH.deb.
.PHONY: deb
deb: deps
	JOBS=$(JOBS) scripts/build-deb "$(BUILD)/deb"

# Builds that package, installs it into a scratch root and runs it; checks make install and
# make uninstall. Not part of `make test` (it takes a few minutes); CI runs it after the others.
.PHONY: test-package
test-package: build
	ctest --test-dir $(BUILD) --output-on-failure -L package

# Every fuzz target for FUZZ_SECONDS from its seed corpus (clang with libFuzzer; see fuzz/).
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) fuzz/run-fuzz

# The two commands of the README, plus the developer's extras.
.PHONY: deps configure build run test test-asan fuzz bench bench-smoke package format lint clean

JOBS ?= $(shell nproc)

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset dev >/dev/null

build: configure
	@cmake --build --preset dev -j $(JOBS)

# Starts the desktop program on its embedded default (in-process server over a
# SQLite file in the user's data folder, created and filled on first run).
run: build
	@scripts/run-host

test: build
	@scripts/with-test-postgres ctest --preset dev -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@scripts/with-test-postgres ctest --preset asan -j $(JOBS)

# The parsers of what peers send, under libFuzzer with the sanitizers:
# FUZZ_SECONDS per target (CI runs each for 30 s).
FUZZ_SECONDS ?= 300
fuzz: deps
	@scripts/run-fuzz $(FUZZ_SECONDS)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@scripts/run-benchmarks build-release

# Each benchmark once on tiny data, from the dev build (CI): one that no longer runs fails.
bench-smoke: build
	@scripts/run-benchmarks --smoke build

# The .deb packages (desktop program and server), from the release build, in build-release/.
package: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@cd build-release && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

lint: configure
	@git ls-files '*.cpp' | grep -v '^bench/' | xargs clang-tidy -p build --quiet

clean:
	@rm -rf build build-asan build-release build-fuzz

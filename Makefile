# nimbard: one entry for building, testing and the demo.
#   make demo   build dist/nimbard.exe and run it as a Windows service under Wine
#   make test   build both flavours and run every test (native, Wine, end to end)
#   make dist   build the release package dist/nimbard-<version>-win64.zip
SHELL := /bin/bash
JOBS ?= 2
NATIVE := build/native
WIN := build/win
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60

export WINEDEBUG ?= -all

.PHONY: all deps native win win-config dist test test-native test-win test-e2e test-dist demo screenshots fuzz bench clean

all: native win

deps:
	@tools/install-deps.sh

native:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug -DNIMBARD_SANITIZE=ON >/dev/null
	cmake --build $(NATIVE) -j$(JOBS)

win: win-config
	cmake --build $(WIN) -j$(JOBS)

win-config:
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null

# Only the exe and the package; the version is the project() version.
dist: deps win-config
	cmake --build $(WIN) -j$(JOBS) --target dist

# The end-to-end scenarios mostly wait (for Wine, a service, a deadline), so
# the second build of the package runs beside them.
test: deps
	$(MAKE) native win
	$(MAKE) test-native test-win
	$(MAKE) -j2 --output-sync=target test-e2e test-dist

test-native:
	cd $(NATIVE) && ctest --output-on-failure

test-win:
	tools/run-wine-tests.sh $(WIN)

test-e2e:
	tools/run-e2e-tests.sh

# The package, and a second build of it elsewhere that must give the same bytes.
test-dist:
	tools/check-reproducible.sh

demo: deps
	$(MAKE) win
	tools/demo.sh

# The pictures of the user interface in docs/images/ (README, user's guide).
screenshots: deps
	$(MAKE) win
	tools/screenshots.sh $(WIN)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DNIMBARD_FUZZ=ON -DNIMBARD_SANITIZE=OFF >/dev/null
	cmake --build $(FUZZ) -j$(JOBS) --target fuzz_config_reader
	tools/run-fuzzers.sh $(FUZZ) $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DNIMBARD_SANITIZE=OFF >/dev/null
	cmake --build build/bench -j$(JOBS) --target nimbard_bench
	build/bench/nimbard_bench

clean:
	rm -rf build dist

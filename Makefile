# Thin wrapper over CMake.
#   make run       build the Release engine alone if needed and start it
#   make test      build and run the whole test suite: Release (with the
#                  games under xboard), Debug with sanitizers, ThreadSanitizer
#                  over the threaded search and the UCI mode, 32-bit Linux,
#                  the Windows program under wine, and a clang build
#   make release   64-bit Linux engine:   build/release/quillantor
#   make linux32   32-bit Linux engine:   build/linux32/quillantor   (g++-multilib)
#   make win32     32-bit Windows engine: build/win32/quillantor.exe (mingw-w64)
#   make clang     the same sources with clang++ and the same warnings as errors
#   make lint      clang-format must leave every source as it is, and
#                  clang-tidy's bugprone and performance checks find nothing
#
# A cross build whose compiler or runner is missing is skipped by "make test"
# with a message; REQUIRE_ALL_BUILDS=1 (set by CI) turns that into a failure.
SHELL := /bin/bash
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
REQUIRE_ALL_BUILDS ?= 0

.PHONY: all release engine run test test-release test-sanitize test-tsan linux32 test-linux32 fathom-source win32 win64 \
	test-win32 clang test-clang lint test-lint clean

all: release

release:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/release -j $(JOBS)

# The engine alone: no googletest needed, nothing of the tests built.
engine:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/release -j $(JOBS) --target quillantor

run: engine
	./build/release/quillantor

# Timed tests (label timed: the games on a clock, the stop latency) and the
# games under xboard run alone, after the rest.
test-release: release
	ctest --test-dir build/release --output-on-failure --no-tests=error -j $(JOBS) -LE 'e2e|timed'
	ctest --test-dir build/release --output-on-failure --no-tests=error -L 'e2e|timed'

test-sanitize:
	cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DENGINE_SANITIZE=address,undefined >/dev/null
	cmake --build build/sanitize -j $(JOBS)
	ctest --test-dir build/sanitize --output-on-failure --no-tests=error -j $(JOBS) -LE 'slow|e2e|timed'
	ctest --test-dir build/sanitize --output-on-failure --no-tests=error -L timed -LE slow

# ThreadSanitizer over the searches with helpers and the UCI mode (its
# reader, command and search threads): any data race fails the test.
TSAN_TESTS = '^(SharedTable|SearchThreads|MultiPv|UciStress|UciSession|UciTimed|UciAnalysis|Uci)[.]'
test-tsan:
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENGINE_SANITIZE=thread >/dev/null
	cmake --build build/tsan -j $(JOBS)
	ctest --test-dir build/tsan --output-on-failure --no-tests=error -j $(JOBS) -R $(TSAN_TESTS) -LE 'slow|timed'
	ctest --test-dir build/tsan --output-on-failure --no-tests=error -R $(TSAN_TESTS) -L timed -LE slow

linux32:
	cmake -S . -B build/linux32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-m32 -DCMAKE_C_FLAGS=-m32 \
		-DCMAKE_EXE_LINKER_FLAGS=-m32 >/dev/null
	cmake --build build/linux32 -j $(JOBS)

# The Windows programs compile the endgame-table prober from its C source:
# Debian's source package, fetched once with "apt-get source fathom" (apt
# needs a deb-src line; .ci/run adds one). Where it cannot be fetched they
# are built without tables and say so.
FATHOM_SOURCE = build/fathom-source
fathom-source:
	@if ! ls $(FATHOM_SOURCE)/fathom-*/src/tbprobe.c >/dev/null 2>&1; then \
		mkdir -p $(FATHOM_SOURCE) && cd $(FATHOM_SOURCE) && \
		{ apt-get source -qq fathom >/dev/null 2>&1 || \
		  echo "apt-get source fathom failed (no deb-src line?): the Windows builds have no tables"; }; \
	fi
fathom_dir = $$(ls -d $(CURDIR)/$(FATHOM_SOURCE)/fathom-*/src 2>/dev/null | head -n 1 | sed 's|/src$$||')

win32: fathom-source
	cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release -DQUILLANTOR_TESTS=OFF \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw.cmake -DMINGW_ARCH=i686 \
		-DFATHOM_SOURCE_DIR=$(fathom_dir) >/dev/null
	cmake --build build/win32 -j $(JOBS)

# The same Windows program for x86-64: wine runs it where the machine cannot
# run 32-bit code.
win64: fathom-source
	cmake -S . -B build/win64 -DCMAKE_BUILD_TYPE=Release -DQUILLANTOR_TESTS=OFF \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw.cmake -DMINGW_ARCH=x86_64 \
		-DFATHOM_SOURCE_DIR=$(fathom_dir) >/dev/null
	cmake --build build/win64 -j $(JOBS)

clang:
	CXX=clang++ cmake -S . -B build/clang -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/clang -j $(JOBS)

# Runs its commands when tests/cross/have.sh finds the build's tools, else
# says what is missing and fails only when every build is required.
define when_possible
	@if tests/cross/have.sh $(1); then $(2); \
	elif [ "$(REQUIRE_ALL_BUILDS)" = 1 ]; then echo "the $(1) build is required"; exit 1; fi
endef

test-linux32:
	$(call when_possible,linux32,$(MAKE) --no-print-directory linux32 && \
	  ctest --test-dir build/linux32 --output-on-failure --no-tests=error -j $(JOBS) -LE 'slow|e2e|timed' && \
	  ctest --test-dir build/linux32 --output-on-failure --no-tests=error -L timed -LE slow)

test-win32:
	$(call when_possible,win32,$(MAKE) --no-print-directory win32 win64 && \
	  tests/cross/windows_checks.sh build/win32/quillantor.exe build/win64/quillantor.exe)

test-clang:
	$(call when_possible,clang,$(MAKE) --no-print-directory clang && \
	  ctest --test-dir build/clang --output-on-failure --no-tests=error -j $(JOBS) -LE 'slow|e2e|timed' && \
	  ctest --test-dir build/clang --output-on-failure --no-tests=error -L timed -LE slow)

SOURCES = $(wildcard src/*.cpp src/*.h tests/*.cpp tests/*.h)

lint:
	clang-format --dry-run --Werror $(SOURCES)
	CXX=clang++ cmake -S . -B build/tidy -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
	@echo "clang-tidy over src and tests"
	@set -o pipefail; clang-tidy -p build/tidy --quiet $(wildcard src/*.cpp tests/*.cpp) 2>&1 | \
		{ grep -v '^[0-9]* warnings\? generated\.$$' || true; }

test-lint:
	$(call when_possible,lint,$(MAKE) --no-print-directory lint)

test: test-lint test-release test-sanitize test-tsan test-linux32 test-win32 test-clang

clean:
	rm -rf build

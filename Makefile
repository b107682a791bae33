# Thin wrapper over CMake.
#   make run    build the Release engine if needed and start it
#   make test   build and run the whole test suite (Release, then Debug with sanitizers)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all release run test test-release test-sanitize bench perft clean

all: release

release:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/release -j $(JOBS)

run: release
	./build/release/quillantor

test-release: release
	ctest --test-dir build/release --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DENGINE_SANITIZE=address,undefined >/dev/null
	cmake --build build/sanitize -j $(JOBS)
	ctest --test-dir build/sanitize --output-on-failure -j $(JOBS) -LE slow

test: test-release test-sanitize

clean:
	rm -rf build

# Front door to the builds.
#   make test   every suite: host unit and conformance tests; the unit and
#               conformance tests again and the fault sweep in the sanitizer
#               build (build/asan); the fuzz targets' committed corpus and a short
#               fuzzing run (build/fuzz, clang); then the win32 build's import
#               check and its conformance and end-to-end tests under Wine
#   make exe    build/win32/Varnobel.exe
#   make run    build the exe and run it under Wine on the demo machine
#   make fuzz   fuzz each target for FUZZ_SECONDS seconds (120 unless
#               FUZZ_RUNS is given), or for FUZZ_RUNS inputs each
#               (make fuzz FUZZ_RUNS=500000: a million in all)
#   make deps   install the Debian packages the builds and tests need
#   make bench  time discovery on large simulated machines, then against
#               Wine's real Windows API on generated machines
#   make reproduce  build the exe again from a copy of the committed tree in
#               a temporary folder, and compare the bytes with build/win32's
SHELL := /bin/bash
JOBS ?= 2
FUZZ_SECONDS ?=
FUZZ_RUNS ?=

.PHONY: all deps tools tools-run exe run test test-host test-asan test-fuzz test-win32 host asan \
        fuzz-build fuzz win32 bench reproduce clean

all: exe

deps:
	@tools/install-deps

# Every other target starts here, so a fresh machine gets its tools first:
# `make exe` and `make run` only what they need, the tests the rest too.
tools:
	@tools/install-deps --check || tools/install-deps

tools-run:
	@tools/install-deps --check --run || tools/install-deps --run

build/host/CMakeCache.txt: | tools
	cmake --preset host

build/win32/CMakeCache.txt: | tools-run
	cmake --preset win32

build/asan/CMakeCache.txt: | tools
	cmake --preset asan

build/fuzz/CMakeCache.txt: | tools
	cmake --preset fuzz

host: build/host/CMakeCache.txt
	cmake --build --preset host -j $(JOBS)

asan: build/asan/CMakeCache.txt
	cmake --build --preset asan -j $(JOBS)

fuzz-build: build/fuzz/CMakeCache.txt
	cmake --build --preset fuzz -j $(JOBS)

win32: build/win32/CMakeCache.txt | tools
	cmake --build --preset win32 -j $(JOBS)

exe: build/win32/CMakeCache.txt
	cmake --build --preset win32 --target Varnobel -j $(JOBS)
	@echo "Built build/win32/Varnobel.exe"

# After each suite come the reasons of the tests that skipped, as CTest prints
# only their names. The fault sweep runs once, in the sanitizer build, where a
# fault that sends the program down a path that overruns a buffer shows.
test-host: host
	@ctest --preset host --label-exclude sweep; status=$$?; tools/skip-reasons build/host; exit $$status

test-asan: asan
	@ctest --preset asan; status=$$?; tools/skip-reasons build/asan; exit $$status

test-fuzz: fuzz-build
	@ctest --preset fuzz; status=$$?; tools/skip-reasons build/fuzz; exit $$status

# Every Windows test runs 32-bit programs under Wine: without 32-bit Wine,
# stop and say why rather than test something else.
test-win32: win32
	@tools/wine-run --check-i386
	@ctest --preset win32; status=$$?; tools/skip-reasons build/win32; exit $$status

test: test-host test-asan test-fuzz test-win32

fuzz: fuzz-build
	tools/fuzz $(if $(FUZZ_SECONDS),--seconds $(FUZZ_SECONDS)) $(if $(FUZZ_RUNS),--runs $(FUZZ_RUNS))

run: exe
	@tools/wine-run --check-i386
	@JOBS=$(JOBS) tools/run-demo

# The same commit gives the same exe and .debug file in any folder.
reproduce: exe
	@JOBS=$(JOBS) tools/reproduce

clean:
	rm -rf build out

# Discovery timings (benchmarks that print, not tests): first on simulated
# machines, then under Wine against its real registry, SetupAPI and spooler.
bench: | tools
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build/bench --target discovery_benchmark -j $(JOBS)
	@echo "Simulated Windows (sim/):"
	build/bench/benchmarks/discovery_benchmark
	@echo "Wine's Windows API:"
	@JOBS=$(JOBS) tools/wine-bench

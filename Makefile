# Thin wrapper: CMake builds, ctest tests. See README.md.

BUILD_PACKAGES := cmake ninja-build g++ make nlohmann-json3-dev
TEST_PACKAGES := $(BUILD_PACKAGES) libgtest-dev libgmock-dev iproute2 util-linux procps time valgrind

WINDOWS_PACKAGES := $(TEST_PACKAGES) g++-mingw-w64-i686-posix googletest wine wine32

.PHONY: run test test-asan test-windows package demo bench fuzz build deps-build deps-test deps-windows clean

run: deps-build
	cmake --preset default
	cmake --build --preset default --target webfind
	./build/webfind

build: deps-build
	cmake --preset default
	cmake --build --preset default

test: deps-test
	cmake --preset default
	cmake --build --preset default
	ctest --preset default

test-asan: deps-test
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# The Windows build (32-bit x86, MinGW-w64), its tests under Wine. The
# end-to-end cases use the Linux build of the simulated device.
test-windows: deps-windows
	cmake --preset default
	cmake --build --preset default --target webfind-responder
	cmake --preset windows-i686
	cmake --build --preset windows-i686
	sh cmake/test-windows.sh

# build/webfind_<version>_amd64.deb and build-windows/webfind-<version>-windows-i686.zip
package: deps-windows
	sh cmake/ensure-packages.sh dpkg-dev
	cmake --preset default
	cmake --build --preset default
	cd build && cpack
	cmake --preset windows-i686
	cmake --build --preset windows-i686
	cd build-windows && cpack

# Scale benchmark in a private network namespace, then the micro-benchmarks.
bench: deps-test
	sh cmake/ensure-packages.sh libbenchmark-dev time util-linux
	cmake --preset default
	cmake --build --preset default
	bash bench/scale.sh
	./build/micro_bench

# libFuzzer: every target for FUZZ_SECONDS each (CI runs a short round).
FUZZ_SECONDS ?= 300
fuzz:
	sh cmake/ensure-packages.sh clang-14 libclang-rt-14-dev cmake ninja-build nlohmann-json3-dev
	cmake --preset fuzz
	cmake --build --preset fuzz
	sh cmake/fuzz.sh $(FUZZ_SECONDS)

# Three simulated devices in a private network namespace, and webfind finding them.
demo: deps-build
	cmake --preset default
	cmake --build --preset default --target webfind webfind-responder
	sh tools/demo.sh

deps-windows:
	@sh cmake/ensure-packages.sh --i386 $(WINDOWS_PACKAGES)

deps-build:
	@sh cmake/ensure-packages.sh $(BUILD_PACKAGES)

deps-test:
	@sh cmake/ensure-packages.sh $(TEST_PACKAGES)

clean:
	rm -rf build build-asan build-windows

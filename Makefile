# Thin wrapper: CMake builds, ctest tests. See README.md.

BUILD_PACKAGES := cmake ninja-build g++ make nlohmann-json3-dev
TEST_PACKAGES := $(BUILD_PACKAGES) libgtest-dev libgmock-dev iproute2 util-linux procps

.PHONY: run test test-asan build deps-build deps-test clean

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

deps-build:
	@sh cmake/ensure-packages.sh $(BUILD_PACKAGES)

deps-test:
	@sh cmake/ensure-packages.sh $(TEST_PACKAGES)

clean:
	rm -rf build build-asan

# Thin wrapper: CMake builds, ctest tests. See README.md.

BUILD_PACKAGES := cmake ninja-build g++ make nlohmann-json3-dev libcurl4-openssl-dev
TEST_PACKAGES := $(BUILD_PACKAGES) libgtest-dev libgmock-dev iproute2 util-linux procps time valgrind shellcheck bsdutils nftables ufw libxml2-utils jq zsh fish python3 openssl ieee-data systemd

# Both Windows cross compilers, and 64-bit Wine, which runs on every x86-64
# kernel; 32-bit Wine is added by the tests only where the kernel runs it.
WINDOWS_BUILD_PACKAGES := cmake ninja-build nlohmann-json3-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 file
WINDOWS_PACKAGES := $(TEST_PACKAGES) $(WINDOWS_BUILD_PACKAGES) googletest binutils wine64 wixl
PACKAGE_PACKAGES := $(BUILD_PACKAGES) $(WINDOWS_BUILD_PACKAGES) dpkg-dev lintian systemd wixl
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev cmake ninja-build nlohmann-json3-dev
BENCH_PACKAGES := libbenchmark-dev time util-linux curl python3 gupnp-tools nftables iproute2

# What make test runs: every test, or, with CTEST_ARGS='-L "unit|install"',
# the unit tests and one end-to-end case (what proves an installation).
CTEST_ARGS ?=

.PHONY: run test test-asan test-windows windows-builds package demo bench fuzz build deps-build deps-test deps-windows deps-package deps-browser deps-tools deps-wine32 screenshot check-fresh-root clean

run: deps-build
	cmake --preset default
	cmake --build --preset default --target webfind
	./build/webfind

build: deps-build
	cmake --preset default
	cmake --build --preset default

test: deps-test deps-browser deps-tools
	cmake --preset default
	cmake --build --preset default
	ctest --preset default $(CTEST_ARGS)

test-asan: deps-test deps-tools
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Both Windows builds (MinGW-w64: 32-bit x86, the original target, and
# x86-64), their tests under Wine. The end-to-end cases use the Linux build of
# the simulated device.
test-windows: deps-windows windows-builds
	cmake --preset default
	cmake --build --preset default --target webfind-responder
	sh scripts/test-windows.sh

windows-builds:
	cmake --preset windows-i686
	cmake --build --preset windows-i686
	cmake --preset windows-x86_64
	cmake --build --preset windows-x86_64

# build/webfind_<version>_amd64.deb, build/webfind-responder_<version>_amd64.deb,
# build/webfind-<version>-windows.zip (32-bit/webfind.exe and 64-bit/webfind.exe)
# and the installers build/webfind-<version>-x86.msi and -x64.msi
package: deps-package windows-builds
	cmake --preset default
	cmake --build --preset default
	cd build && cpack
	cmake -DSOURCE_DIR=$(CURDIR) -P cmake/WindowsZip.cmake
	cmake -DSOURCE_DIR=$(CURDIR) -P cmake/WindowsMsi.cmake

# Scale and watch benchmarks in private network namespaces, then the
# micro-benchmarks.
bench: deps-test
	sh scripts/ensure-packages.sh $(BENCH_PACKAGES)
	cmake --preset default
	cmake --build --preset default
	bash bench/scale.sh
	bash bench/watch.sh
	bash bench/memory.sh
	bash bench/check.sh
	bash bench/announce.sh
	bash bench/first.sh
	bash bench/targets.sh
	bash bench/soak.sh
	./build/micro_bench

# libFuzzer: every target for FUZZ_SECONDS each (CI runs a short round).
FUZZ_SECONDS ?= 300
fuzz:
	sh scripts/ensure-packages.sh $(FUZZ_PACKAGES)
	cmake --preset fuzz
	cmake --build --preset fuzz
	sh scripts/fuzz.sh $(FUZZ_SECONDS)

# The README's quick start, proven on a fresh minimal Debian 12 (needs root).
check-fresh-root:
	sh scripts/check-fresh-root.sh

# Three simulated devices in a private network namespace, and webfind finding them.
demo: deps-build
	@sh scripts/ensure-packages.sh iproute2 util-linux
	cmake --preset default
	cmake --build --preset default --target webfind webfind-responder
	sh tools/demo.sh

deps-windows:
	@sh scripts/ensure-packages.sh $(WINDOWS_PACKAGES)

deps-package:
	@sh scripts/ensure-packages.sh $(PACKAGE_PACKAGES)

# 32-bit Wine, where this kernel runs 32-bit programs (found out by running
# one): installed apart, so that it can come while other work goes on.
deps-wine32: windows-builds
	@if sh scripts/can-run-32bit.sh build-windows-i686 > /dev/null; then sh scripts/ensure-packages.sh --i386 wine32:i386 || \
		echo "note: 32-bit Wine could not be installed (see above); make test-windows will say that the 32-bit tests did not run"; fi

deps-build:
	@sh scripts/ensure-packages.sh $(BUILD_PACKAGES)

deps-test:
	@sh scripts/ensure-packages.sh $(TEST_PACKAGES)

# promtool and node_exporter check the watch's metrics; they are unpacked
# into build-tools/, never installed (they would be services here).
deps-tools:
	@sh scripts/unpack-tools.sh build-tools prometheus prometheus-node-exporter

# Chromium renders the page of devices in one test, which skips without it.
deps-browser:
	@sh scripts/ensure-packages.sh chromium || echo "note: Chromium could not be installed; the page's browser test will be skipped"

# The README's picture of the page of devices (docs/page.png).
screenshot: deps-browser
	cmake --preset default
	cmake --build --preset default --target page_fixture
	PAGE_FIXTURE=build/page_fixture bash tests/page/render.sh --screenshot build/screenshots
	cp build/screenshots/page.png docs/page.png

clean:
	rm -rf build build-asan build-fuzz build-windows-i686 build-windows-x86_64 build-fresh-root build-fresh-root.log build-fresh-root.cache build-tools build-ci

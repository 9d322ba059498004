# The whole set-up on a fresh Debian 12 machine:
#   make demo   build, then run a full job on the built-in simulated programmer
#   make test   build and run every test, again under ASan+UBSan and TSan, then the fuzzers briefly
#   make deb    build, then the Debian package (build/korvan_*.deb)
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 15
CMAKE_FLAGS = -G Ninja -Wno-dev

.PHONY: all bootstrap build test unit asan tsan fuzz demo bench screenshots deb clean

all: build

bootstrap:
	@tools/bootstrap.sh

build: bootstrap
	@cmake -S . -B build $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j$(JOBS)

unit: build
	ctest --test-dir build --output-on-failure -j$(JOBS)

asan: bootstrap
	@cmake -S . -B build-asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=address >/dev/null
	@cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

tsan: bootstrap
	@cmake -S . -B build-tsan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L threaded

fuzz: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j$(JOBS)
	tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

# Unit tests first (fast feedback), then the sanitizer builds, then the fuzzers.
test: unit asan tsan fuzz

demo: build
	build/bin/korvan-cli --simulate --programmer serial --chip AT89C52 \
	  open firmware/sample.hex check erase write verify encrypt

# The window on the simulated programmer after an Auto job, one PNG a page, under a virtual display;
# the Status page is README's picture.
screenshots: build
	xvfb-run -a -s "-screen 0 1280x900x24" env QT_QPA_PLATFORM=xcb KORVAN_HOME=$(CURDIR)/build/bin/ \
	  build/tools/window_screenshots build/screenshots firmware/sample.hex
	cp build/screenshots/page-2-status.png docs/korvan-window.png

bench: build
	@for b in build/bin/bench_* build/bin/*_bench; do echo "== $${b##*/}"; "$$b" || exit 1; done
	bench/hex_vs_objcopy.sh build
	bench/multi_site.sh build

# The Debian package of the build, in build/ (korvan_VERSION_ARCH.deb).
deb: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-fuzz

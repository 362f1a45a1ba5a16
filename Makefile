# Thin wrapper over the install script, CMake and CTest.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo package screenshots clean

all: build

deps:
	@bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo

# The Debian package, from a release build of its own: build-release/calvenor_<version>_<arch>.deb
package: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCALVENOR_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)
	cd build-release && cpack -G DEB

# Every window at scale 1 and 2 under Xvfb, into docs/screenshots/.
screenshots: build
	@BUILD=$(BUILD) bash scripts/screenshots

clean:
	rm -rf $(BUILD) build-release

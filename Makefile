# The two set-up commands: `make run` and `make test` (and `make bench`).
# Each installs what is missing, configures, builds, then runs.
JOBS ?= $(shell nproc)

.PHONY: run test bench build build-test screenshot clean

run: build
	tools/run.sh build/bin/Corvena

build:
	tools/deps.sh run
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

build-test:
	tools/deps.sh test
	cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVENA_TESTS=ON -DCORVENA_SANITIZE=ON
	cmake --build build-test -j $(JOBS)

test: build-test
	cd build-test && ctest --output-on-failure -j $(JOBS) -LE opt-in

bench:
	tools/deps.sh bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVENA_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	tools/bench.sh build-bench/bin

# Remakes the README's picture (docs/window.png) under a private Xvfb screen.
screenshot: build
	tools/deps.sh look
	tools/screenshot.sh build/bin/Corvena docs/window.png

clean:
	rm -rf build build-test build-bench

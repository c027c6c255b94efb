# Thin wrapper around CMake. `make demo` runs the installer's main job, `make check` builds and
# runs every test, then the whole suite again under AddressSanitizer + UBSan and the thread-heavy
# suites under ThreadSanitizer.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test asan tsan layering format format-check check demo clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build -j$(JOBS)

test: build
	ctest --test-dir build --output-on-failure -j$(JOBS)

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBRIVANO_SANITIZE=address,undefined $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DBRIVANO_SANITIZE=thread $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS)
	ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L threads

layering:
	scripts/check-layering

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.h' '*.cpp')

check: deps layering format-check test asan tsan

demo: build
	scripts/demo

clean:
	rm -rf build build-asan build-tsan demo-out

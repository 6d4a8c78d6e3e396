# The two set-up commands of a fresh Debian 12 machine: `make run` and `make test`.
.PHONY: run test build bench fuzz video clean

JOBS ?= $(shell nproc)

run:
	tools/install-deps.sh run
	cmake --preset release
	cmake --build --preset release --target intro -j $(JOBS)
	cd data && ../build/release/intro/intro

build:
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

# Every test: the optimised build with the fast blit routines and again with
# the scalar ones, the whole suite under AddressSanitizer + UndefinedBehavior-
# Sanitizer, the threaded tests under ThreadSanitizer, then a short fuzz run.
test:
	tools/install-deps.sh test
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	ctest --preset release
	GFX_FORCE_SCALAR=1 ctest --preset release -L gfx
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan
	if [ -x tools/fuzz.sh ]; then tools/fuzz.sh $${FUZZ_SECONDS:-60}; fi

bench: build
	build/release/bench/gfx_bench

fuzz:
	tools/install-deps.sh test
	tools/fuzz.sh $${FUZZ_SECONDS:-600}

clean:
	rm -rf build

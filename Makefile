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

# intro.mp4 at the repository root: the intro rendered deterministically
# (boot scene and 30 s of demo), twice the size, 60 frames a second, lossless
# RGB (about 1.1 GB, most of it the tuning noise; VIDEO_CRF=12 gives a
# near-lossless file of about a fifth of that). pipefail so a failed capture
# fails the target instead of leaving a short video.
VIDEO_SCALE ?= 2
VIDEO_FPS ?= 60
VIDEO_CRF ?= 0
video:
	tools/install-deps.sh video
	cmake --preset release
	cmake --build --preset release --target intro-capture -j $(JOBS)
	cd data && bash -c 'set -o pipefail; \
	  ../build/release/intro/intro-capture --scale $(VIDEO_SCALE) --fps $(VIDEO_FPS) - | \
	  ffmpeg -y -hide_banner -loglevel warning -f rawvideo -pixel_format bgra \
	    -video_size $$((640 * $(VIDEO_SCALE)))x$$((480 * $(VIDEO_SCALE))) -framerate $(VIDEO_FPS) -i - \
	    -c:v libx264rgb -crf $(VIDEO_CRF) -preset veryfast -movflags +faststart ../intro.mp4'
	ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate,nb_frames -of default=nw=1 intro.mp4

# Thin wrappers over the CMake presets. `make test` and `make demo` install
# what they need first (scripts/bootstrap), so they work on a fresh machine.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SMOKE_RUNS ?= 20000

.PHONY: dist all bootstrap native release win32 win64 test test-native test-win32 test-win64 test-win64-layout fuzz fuzz-smoke bench bench-i686 bench-flash demo clean fuzz-build

all: native

bootstrap:
	@scripts/bootstrap

native: bootstrap
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

release: bootstrap
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

win32: bootstrap
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

win64: bootstrap
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

test-native: native
	ctest --preset native -j $(JOBS)

# Every suite of the i686 build (the deliverable) under 32-bit Wine, the GUI
# suite on the i686 programs included, all on one private display. The GUI
# suite's signed-image cases need the native image tool (built by `native`);
# here a case skipped for want of it is a failure. Where the kernel runs no
# i386 programs, scripts/test-win32 says what runs emulated and what under
# wine64 in its place.
test-win32: win32 native
	@scripts/test-win32 $(JOBS)

test-win64: win64 native
	cd build/win64 && TF_GUI_REQUIRE_IMAGES=1 ../../scripts/with-xvfb ctest -j $(JOBS) --output-on-failure

# x86_64: every product library and both programs compiled, and run only where
# it differs from i686: the 64-bit layouts of the service's interfaces and
# structures. (Its suites repeat the i686 ones: `make test-win64` runs them.)
test-win64-layout: bootstrap
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS) --target tessfold-update tessfold-recovery tfsimwmdm wmdm_layout_tests
	cd build/win64 && ctest -R '^wmdm_layout_tests$$' --output-on-failure

# The whole suite: native (ASan+UBSan), a short run of every fuzz harness,
# everything of the i686 build under 32-bit Wine, and the x86_64 programs.
test: test-native fuzz-smoke test-win32 test-win64-layout
	@echo "make test: all suites passed"

fuzz-build: bootstrap
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

# First the proof that the runner fails on a finding (a harness that crashes
# or leaks on a marker input), then a short run of every harness.
fuzz-smoke: fuzz-build
	@scripts/check-fuzz-runner build/fuzz
	@scripts/run-fuzzers build/fuzz $(SMOKE_RUNS) 0

fuzz: fuzz-build
	@scripts/check-fuzz-runner build/fuzz
	@scripts/run-fuzzers build/fuzz 0 $(FUZZ_SECONDS)

# Both widths: the x86_64 programs and the same benchmarks as 32-bit Linux
# programs (arithmetic, curve, channel), each against OpenSSL and GMP of its
# own width.
bench: release bench-i686
	@scripts/run-benchmarks build/release
	@scripts/run-benchmarks build/bench-i686

# What the flasher's read-back costs: a 64 MiB send under Wine with and without
# it, whole processes (the i686 build where the kernel runs it, else x86_64).
bench-flash: native
	@if scripts/i386-programs native; then $(MAKE) win32; b=build/win32; else $(MAKE) win64; b=build/win64; fi; \
	  bench/flash_readback.py $$b

bench-i686:
	@scripts/bootstrap bench
	cmake --preset bench-i686 >/dev/null
	cmake --build --preset bench-i686 -j $(JOBS)

# The update program under Wine against a simulated player: on $$DISPLAY for
# use by hand, or without one as a scripted walk with screenshots.
demo: bootstrap
	@JOBS=$(JOBS) scripts/demo

# The release archive dist/tessfold-VERSION-win32.zip: the i686 programs (the
# win32 preset builds in release form), Authenticode-signed and verified. A
# vendor signs with its own pair: make dist CODESIGN_CERT=... CODESIGN_KEY=...
# CODESIGN_ROOT=... (the root the signature is verified against).
CODESIGN_CERT ?= keys/dev/codesign.pem
CODESIGN_KEY ?= keys/dev/codesign.key
CODESIGN_ROOT ?= keys/dev/codesign-root.pem

dist: bootstrap
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS) --target tessfold-recovery tessfold-update tessfold-flash
	TF_CODESIGN_CERT="$(CODESIGN_CERT)" TF_CODESIGN_KEY="$(CODESIGN_KEY)" TF_CODESIGN_ROOT="$(CODESIGN_ROOT)" \
		scripts/make-dist build/win32 dist

clean:
	rm -rf build

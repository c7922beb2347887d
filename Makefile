# vantaPeak: `make run` sets everything up and runs the program;
# `make test` sets everything up and runs every test.
SHELL := /bin/bash
# Progress and results only: no "Entering directory" lines from the
# recursive makes that cmake --build runs (MAKEFLAGS reaches them).
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
BUILD ?= build
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24"
DATA := data
HEIGHTMAP := $(DATA)/terrainMdt_8193x8193.bmp
TEXTURE := $(DATA)/terrainMdt_8193x8193_Texture.bmp
TILES := $(DATA)/Textures/water1.bmp
# The guided flight's options, shared with the menu entry's launcher.
GUIDED_FLIGHT := $(shell grep -v '^\#' app/guided-flight.args)
# What `make run` needs: the program and the tools that make its terrain.
PROGRAMS := vantapeak vantapeak-terrain vantapeak-tiles
LSAN := LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
ASAN_KINDS := address,undefined
TSAN := TSAN_OPTIONS=suppressions=$(CURDIR)/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1

PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build programs run test test-asan test-tsan fuzz bench terrain install package clean

all: build

deps:
	@bash scripts/install-deps.sh

# configure(dir, extra cmake args)
define configure
	@if [ ! -f $(1)/CMakeCache.txt ]; then cmake -S . -B $(1) $(2) >/dev/null; fi
endef

build: deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release)
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program and its tools, not the tests.
programs: deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release)
	@cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

$(TILES): | programs
	$(BUILD)/tools/vantapeak-tiles --out $(DATA)/Textures

# The terrain of the enhanced flight: 16-bit heights (no terraces) and the
# soft painting from them.
$(HEIGHTMAP) $(TEXTURE): | programs $(TILES)
	$(BUILD)/tools/vantapeak-terrain --out $(DATA) --textures $(DATA)/Textures --heights16 --blend

terrain: programs $(HEIGHTMAP)

# The guided flight at a visible speed; `build/app/vantapeak` alone is the
# plain program.
run: programs $(HEIGHTMAP)
	@bash scripts/run.sh $(BUILD) $(GUIDED_FLIGHT)

test: build
	@cd $(BUILD) && $(XVFB) ctest --progress --output-on-failure -j $(JOBS)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a 15 s flight of the program itself over a small terrain.
test-asan: deps
	$(call configure,build-asan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_SANITIZE=$(ASAN_KINDS))
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && $(LSAN) $(XVFB) ctest --progress --output-on-failure -j $(JOBS) -LE nosan
	@bash scripts/sanitizer-flight.sh build-asan

# The tests labelled "threads" under ThreadSanitizer, then the same flight
# as test-asan's.
test-tsan: deps
	$(call configure,build-tsan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_SANITIZE=thread)
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && $(TSAN) $(XVFB) ctest --progress --output-on-failure -j $(JOBS) -L threads
	@bash scripts/sanitizer-flight.sh build-tsan

# A bounded libFuzzer run of the bitmap loader (FUZZ_SECONDS, default 60).
FUZZ_SECONDS ?= 60
fuzz: deps
	$(call configure,build-fuzz,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVP_FUZZ=ON -DVP_WITH_GUI=OFF -DBUILD_TESTING=OFF)
	cmake --build build-fuzz -j $(JOBS) --target fuzz_bitmap
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_bitmap -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 build-fuzz/corpus fuzz/corpus

bench: build $(HEIGHTMAP)
	@bash scripts/bench.sh $(BUILD)

# The programs, menu entry, icons, manual pages and tiles under
# $(DESTDIR)$(PREFIX), without a package.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# $(BUILD)/vantapeak_<version>_<arch>.deb
package: build
	@bash scripts/install-deps.sh --package
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-fuzz

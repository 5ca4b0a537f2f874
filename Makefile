# make test: install what is missing, build both targets, run every test under Wine.
# make demo: the same set-up, then COM3 configured through the Chooser and the dial-out demonstration.
# make screenshots: pictures of the library's and the Chooser's windows and the set-up's pages in BUILD/screenshots.
# make fuzz: the parsers' fuzz targets, natively, FUZZ_SECONDS each.
# make installer: the workstation set-up, BUILD/RezoRivSetup.exe.
BUILD   ?= build
BUILD32 ?= build32
JOBS    ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build build64 build32 test demo bench screenshots fuzz installer clean

all: build

deps:
	@scripts/install-deps.sh

build64: deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build32: deps
	cmake -S . -B $(BUILD32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release -DKVR_TESTS=OFF
	cmake --build $(BUILD32) -j $(JOBS)

build: build64 build32

test: build
	scripts/with-wine.sh $(BUILD) ctest --test-dir $(BUILD) --output-on-failure -j 2

demo: build64
	scripts/with-wine.sh $(BUILD) scripts/demo.sh $(BUILD)

installer: build64
	cmake --build $(BUILD) --target installer

screenshots: build64
	scripts/with-wine.sh $(BUILD) scripts/screenshots.sh $(BUILD)
	scripts/installer-screenshots.sh $(BUILD)

bench: build64
	scripts/with-wine.sh $(BUILD) $(BUILD)/wine-run $(BUILD)/bin/dialout_bench.exe
	scripts/with-wine.sh $(BUILD) $(BUILD)/wine-run $(BUILD)/bin/discovery_bench.exe
	@# 77: no network namespace can be made here; the script says so.
	scripts/bench-discovery.sh $(BUILD) || [ $$? = 77 ]

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(BUILD32)

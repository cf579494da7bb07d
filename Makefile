# Two commands: `make run` builds and starts the program, needing only a C++20 compiler and CMake;
# `make test` installs the Debian packages its stages need (setup/packages lists them for every
# target here, setup/install-packages installs the missing ones) and runs every test. Each target
# first installs what it needs, except `make install`. `make help` lists the targets.
BUILD ?= build
CHECKED_BUILD ?= build-checked
WINDOWS_BUILD ?= build-windows
SOFTWARE_BUILD ?= build-software
LIBCXX_BUILD ?= build-libcxx
ARM64_BUILD ?= build-arm64
WASM_BUILD ?= build-wasm
WEB ?= build-web
ARM64_GCONV = $(abspath $(ARM64_BUILD))/foreign-libraries/libc6/usr/lib/aarch64-linux-gnu/gconv
FUZZ_SECONDS ?= 30
PREFIX ?= /usr/local
DIST ?= dist

.PHONY: all run check checked fuzz software libcxx test windows windows-program arm64 arm64-program web \
	web-test bench install package clean help
# The packages come first, and one install at a time.
.NOTPARALLEL:

# Ninja where it is, else make; a build directory keeps the generator it was made with. The set-up
# and the builds read nothing from standard input, which stays the program's.
GENERATOR = $(if $(shell command -v ninja),Ninja,Unix Makefiles)
configure = cmake -S . -B $(1) $(if $(wildcard $(1)/CMakeCache.txt),,-G "$(GENERATOR)")
# The project's checks hold its own code to its warnings as errors; a plain build does not.
CHECK_SETTINGS = NEWTON_WARNINGS_AS_ERRORS=ON
CHECKS = $(addprefix -D,$(CHECK_SETTINGS))
# Configures the build directory $(1) with the settings $(2) (NAME=VALUE ...) unless its cache
# already holds every one of them.
configure-for = for setting in $(2); do \
		grep -qx "$${setting%%=*}:[A-Z]*=$${setting\#*=}" $(1)/CMakeCache.txt || \
		{ $(call configure,$(1)) $(addprefix -D,$(2)) </dev/null; break; }; \
	done

packages-%:
	@setup/install-packages $*

all: packages-run $(BUILD)/CMakeCache.txt ## builds the program, and the tests and the benchmark where their libraries are
	cmake --build $(BUILD) </dev/null

$(BUILD)/CMakeCache.txt: CMakeLists.txt
	$(call configure,$(BUILD)) -DCMAKE_BUILD_TYPE=Release </dev/null

run: packages-run $(BUILD)/CMakeCache.txt ## builds the program alone and starts it
	cmake --build $(BUILD) --target newton </dev/null
	$(BUILD)/newton

# Here the tests are required (a missing GoogleTest stops the configuration), and warnings are errors.
check: packages-check $(BUILD)/CMakeCache.txt ## the suite
	$(call configure-for,$(BUILD),NEWTON_TESTS=ON $(CHECK_SETTINGS))
	cmake --build $(BUILD)
	ctest --test-dir $(BUILD) --output-on-failure -j2

# Built with clang: sanitizers on every file, and the fuzz targets beside the tests.
$(CHECKED_BUILD)/CMakeCache.txt: CMakeLists.txt
	CXX=clang++ $(call configure,$(CHECKED_BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DNEWTON_SANITIZE=ON -DNEWTON_FUZZ=ON $(CHECKS)

checked: packages-checked $(CHECKED_BUILD)/CMakeCache.txt ## the suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang)
	cmake --build $(CHECKED_BUILD)
	ctest --test-dir $(CHECKED_BUILD) --output-on-failure -j2

# Each target runs FUZZ_SECONDS from the seed corpus; any finding fails the run and leaves its input
# in $(CHECKED_BUILD)/fuzz.
fuzz: packages-fuzz $(CHECKED_BUILD)/CMakeCache.txt ## a bounded fuzzing run, FUZZ_SECONDS for each target
	cmake --build $(CHECKED_BUILD)
	for target in number_reader dialogue; do \
		mkdir -p $(CHECKED_BUILD)/fuzz/$$target && \
		$(CHECKED_BUILD)/tests/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
			-dict=tests/fuzz/numbers.dict -print_final_stats=1 -artifact_prefix=$(CHECKED_BUILD)/fuzz/ \
			$(CHECKED_BUILD)/fuzz/$$target tests/fuzz/corpus/$$target || exit 1; \
	done

# Extended precision in the program's own software type, as on processors without the x87 unit:
# the same suite, the same sweep digests, and no x87 instruction in the program.
$(SOFTWARE_BUILD)/CMakeCache.txt: CMakeLists.txt
	$(call configure,$(SOFTWARE_BUILD)) -DCMAKE_BUILD_TYPE=Release -DNEWTON_SOFTWARE_EXTENDED=ON \
		$(CHECKS)

software: packages-software $(SOFTWARE_BUILD)/CMakeCache.txt ## the suite with extended precision in software
	cmake --build $(SOFTWARE_BUILD)
	ctest --test-dir $(SOFTWARE_BUILD) --output-on-failure -j2

# clang with LLVM's libc++, GoogleTest built from its sources with it; Google Benchmark, built for
# libstdc++, is left out.
$(LIBCXX_BUILD)/CMakeCache.txt: CMakeLists.txt
	CC=clang CXX=clang++ $(call configure,$(LIBCXX_BUILD)) -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ \
		-DNEWTON_GTEST_FROM_SOURCE=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON $(CHECKS)

libcxx: packages-libcxx $(LIBCXX_BUILD)/CMakeCache.txt ## the suite built with clang and libc++
	cmake --build $(LIBCXX_BUILD)
	ctest --test-dir $(LIBCXX_BUILD) --output-on-failure -j2

test: packages-test check checked fuzz software libcxx ## every stage above: check, checked, fuzz, software, libcxx

# Cross-compiled with MinGW-w64; the end-to-end cases come from the Linux build's
# windows_program_test, so that build comes first.
$(WINDOWS_BUILD)/CMakeCache.txt: CMakeLists.txt cmake/mingw-w64.cmake
	$(call configure,$(WINDOWS_BUILD)) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DNEWTON_HOST_BUILD=$(abspath $(BUILD)) $(CHECKS)

windows: packages-windows all $(WINDOWS_BUILD)/CMakeCache.txt ## newton.exe (MinGW-w64) and the Windows suite under Wine
	cmake --build $(WINDOWS_BUILD)
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j2

windows-program: packages-windows all $(WINDOWS_BUILD)/CMakeCache.txt ## newton.exe alone
	cmake --build $(WINDOWS_BUILD) --target newton

# Cross-compiled for aarch64 with the software extended type. The suite runs under qemu-user with
# the C library's conversion modules of Debian's arm64 libc6 (unpacked, not installed); then the
# end-to-end cases run again without them, as on a system that has none.
$(ARM64_BUILD)/CMakeCache.txt: CMakeLists.txt cmake/aarch64-linux-gnu.cmake
	$(call configure,$(ARM64_BUILD)) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
		-DCMAKE_BUILD_TYPE=Release $(CHECKS)

arm64: packages-arm64 $(ARM64_BUILD)/CMakeCache.txt ## the program for 64-bit ARM Linux and its suite under qemu-user
	cmake --build $(ARM64_BUILD)
	packaging/foreign-libraries arm64 $(ARM64_BUILD)/foreign-libraries
	GCONV_PATH=$(ARM64_GCONV) ctest --test-dir $(ARM64_BUILD) --output-on-failure -j2
	env -u GCONV_PATH qemu-aarch64 -L /usr/aarch64-linux-gnu $(ARM64_BUILD)/tests/program_test

arm64-program: packages-arm64 $(ARM64_BUILD)/CMakeCache.txt ## the ARM64 program alone
	cmake --build $(ARM64_BUILD) --target newton

# WebAssembly with Debian's clang and wasm32 WASI libraries, the software extended type; the page's
# files, its script bundled by esbuild and its font (both pinned in web/package-lock.json) go to
# $(WEB). The page test runs in Chromium, Firefox ESR and WebKitGTK, under xvfb-run for WebKitGTK.
$(WASM_BUILD)/CMakeCache.txt: CMakeLists.txt cmake/wasm32-wasi.cmake
	$(call configure,$(WASM_BUILD)) -DCMAKE_TOOLCHAIN_FILE=cmake/wasm32-wasi.cmake \
		-DCMAKE_BUILD_TYPE=MinSizeRel -DNEWTON_TESTS=OFF $(CHECKS)

web/node_modules/.package-lock.json: web/package.json web/package-lock.json
	cd web && npm ci --no-audit --no-fund

web: packages-web $(WASM_BUILD)/CMakeCache.txt web/node_modules/.package-lock.json ## the web page, a static site, in build-web/
	cmake --build $(WASM_BUILD) --target newton
	rm -rf $(WEB)
	node web/build.mjs $(WASM_BUILD)/newton.wasm $(WEB)

web-test: packages-web-test all web ## the page's module under node, and the page in Chromium, Firefox ESR and WebKitGTK
	node web/test/piped-runs.js $(WEB) $(BUILD)/newton
	node web/test/observed-steps.js $(WEB) $(BUILD)/tests/observed_steps
	node web/test/view-runs.js $(WEB)
	node --test web/test/pure.test.mjs web/test/view-units.test.mjs
	xvfb-run -a node web/test/page-test.js $(WEB) $(BUILD)/newton

# Builds what it installs and nothing else; it installs no package (a missing compiler or CMake
# stops it with their own message).
install: $(BUILD)/CMakeCache.txt ## installs the program and its manual pages under PREFIX (and DESTDIR)
	cmake --build $(BUILD) --target newton </dev/null
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: packages-package all windows-program arm64-program ## the Debian packages and the Windows zip in dist/
	packaging/make-deb $(BUILD) $(DIST)
	packaging/make-deb $(ARM64_BUILD) $(DIST)
	packaging/make-zip $(WINDOWS_BUILD) $(DIST)

# Configured again, so that a Google Benchmark installed since is found.
bench: packages-bench $(BUILD)/CMakeCache.txt ## the benchmark
	$(call configure,$(BUILD))
	cmake --build $(BUILD) --target newton_bench
	$(BUILD)/bench/newton_bench

clean: ## removes every build directory and dist/
	rm -rf $(BUILD) $(CHECKED_BUILD) $(WINDOWS_BUILD) $(SOFTWARE_BUILD) $(LIBCXX_BUILD) \
		$(ARM64_BUILD) $(WASM_BUILD) $(WEB) $(DIST)

help: ## lists the targets
	@sed -n 's/^\([a-z0-9-]*\):.*## \(.*\)$$/\1\t\2/p' $(MAKEFILE_LIST) | \
		awk -F'\t' '{ printf "  make %-16s %s\n", $$1, $$2 }'

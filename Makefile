# Two commands: `make run` builds and starts the program, `make test` builds and runs every test:
# the suite, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded
# fuzzing run, the suite of the build with extended precision in software, and the suite built with
# clang and libc++ (as a standard library other than GNU's). `make check` is the
# suite alone, `make bench` the benchmark, and `make windows`
# builds newton.exe and runs the Windows suite under Wine; `make arm64` cross-builds for 64-bit ARM
# Linux and runs the suite under qemu-user. `make install` installs the program and its
# manual pages under PREFIX (and DESTDIR); `make package` writes the Debian package and the Windows
# zip to dist/. `make web` writes the web page, a static site, to build-web/ (serve it with
# `npx --yes http-server build-web -g -b`), and `make web-test` runs its module under node and the
# page in Chromium, Firefox ESR and WebKitGTK, against the program built here.
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
	web-test bench install package clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

run: all
	./$(BUILD)/newton

check: all
	ctest --test-dir $(BUILD) --output-on-failure -j2

# Built with clang: sanitizers on every file, and the fuzz targets beside the tests.
$(CHECKED_BUILD)/build.ninja: CMakeLists.txt
	CXX=clang++ cmake -S . -B $(CHECKED_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DNEWTON_SANITIZE=ON -DNEWTON_FUZZ=ON

checked: $(CHECKED_BUILD)/build.ninja
	cmake --build $(CHECKED_BUILD)
	ctest --test-dir $(CHECKED_BUILD) --output-on-failure -j2

# Each target runs FUZZ_SECONDS from the seed corpus; any finding fails the run and leaves its input
# in $(CHECKED_BUILD)/fuzz.
fuzz: $(CHECKED_BUILD)/build.ninja
	cmake --build $(CHECKED_BUILD)
	for target in number_reader dialogue; do \
		mkdir -p $(CHECKED_BUILD)/fuzz/$$target && \
		$(CHECKED_BUILD)/tests/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
			-dict=tests/fuzz/numbers.dict -print_final_stats=1 -artifact_prefix=$(CHECKED_BUILD)/fuzz/ \
			$(CHECKED_BUILD)/fuzz/$$target tests/fuzz/corpus/$$target || exit 1; \
	done

# Extended precision in the program's own software type, as on processors without the x87 unit:
# the same suite, the same sweep digests, and no x87 instruction in the program.
$(SOFTWARE_BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(SOFTWARE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNEWTON_SOFTWARE_EXTENDED=ON

software: $(SOFTWARE_BUILD)/build.ninja
	cmake --build $(SOFTWARE_BUILD)
	ctest --test-dir $(SOFTWARE_BUILD) --output-on-failure -j2

# clang with LLVM's libc++, GoogleTest built from its sources with it; Google Benchmark, built for
# libstdc++, is left out.
$(LIBCXX_BUILD)/build.ninja: CMakeLists.txt
	CC=clang CXX=clang++ cmake -S . -B $(LIBCXX_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ \
		-DNEWTON_GTEST_FROM_SOURCE=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON

libcxx: $(LIBCXX_BUILD)/build.ninja
	cmake --build $(LIBCXX_BUILD)
	ctest --test-dir $(LIBCXX_BUILD) --output-on-failure -j2

test: check checked fuzz software libcxx

# Cross-compiled with MinGW-w64; the end-to-end cases come from the Linux build's
# windows_program_test, so that build comes first.
$(WINDOWS_BUILD)/build.ninja: CMakeLists.txt cmake/mingw-w64.cmake
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DNEWTON_HOST_BUILD=$(abspath $(BUILD))

windows: all $(WINDOWS_BUILD)/build.ninja
	cmake --build $(WINDOWS_BUILD)
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j2

windows-program: all $(WINDOWS_BUILD)/build.ninja
	cmake --build $(WINDOWS_BUILD) --target newton

# Cross-compiled for aarch64 with the software extended type. The suite runs under qemu-user with
# the C library's conversion modules of Debian's arm64 libc6 (unpacked, not installed); then the
# end-to-end cases run again without them, as on a system that has none.
$(ARM64_BUILD)/build.ninja: CMakeLists.txt cmake/aarch64-linux-gnu.cmake
	cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
		-DCMAKE_BUILD_TYPE=Release

arm64: $(ARM64_BUILD)/build.ninja
	cmake --build $(ARM64_BUILD)
	packaging/foreign-libraries arm64 $(ARM64_BUILD)/foreign-libraries
	GCONV_PATH=$(ARM64_GCONV) ctest --test-dir $(ARM64_BUILD) --output-on-failure -j2
	env -u GCONV_PATH qemu-aarch64 -L /usr/aarch64-linux-gnu $(ARM64_BUILD)/tests/program_test

arm64-program: $(ARM64_BUILD)/build.ninja
	cmake --build $(ARM64_BUILD) --target newton

# WebAssembly with Debian's clang and wasm32 WASI libraries, the software extended type; the page's
# files, its script bundled by esbuild and its font (both pinned in web/package-lock.json) go to
# $(WEB). The page test runs in Chromium, Firefox ESR and WebKitGTK, under xvfb-run for WebKitGTK.
$(WASM_BUILD)/build.ninja: CMakeLists.txt cmake/wasm32-wasi.cmake
	cmake -S . -B $(WASM_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/wasm32-wasi.cmake \
		-DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF

web/node_modules/.package-lock.json: web/package.json web/package-lock.json
	cd web && npm ci --no-audit --no-fund

web: $(WASM_BUILD)/build.ninja web/node_modules/.package-lock.json
	cmake --build $(WASM_BUILD) --target newton
	rm -rf $(WEB)
	web/make-site $(WASM_BUILD)/newton.wasm $(WEB)

web-test: all web
	node web/test/piped-runs.js $(WEB) $(BUILD)/newton
	node web/test/observed-steps.js $(WEB) $(BUILD)/tests/observed_steps
	node web/test/view-runs.js $(WEB)
	xvfb-run -a node web/test/page-test.js $(WEB) $(BUILD)/newton

install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: all windows-program arm64-program
	packaging/make-deb $(BUILD) $(DIST)
	packaging/make-deb $(ARM64_BUILD) $(DIST)
	packaging/make-zip $(WINDOWS_BUILD) $(DIST)

bench: all
	./$(BUILD)/bench/newton_bench

clean:
	rm -rf $(BUILD) $(CHECKED_BUILD) $(WINDOWS_BUILD) $(SOFTWARE_BUILD) $(LIBCXX_BUILD) \
		$(ARM64_BUILD) $(WASM_BUILD) $(WEB) $(DIST)

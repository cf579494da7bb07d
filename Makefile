# Two commands: `make run` builds and starts the program, `make test` builds and runs every test.
BUILD ?= build

.PHONY: all run test bench clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

run: all
	./$(BUILD)/newton

test: all
	ctest --test-dir $(BUILD) --output-on-failure

bench: all
	./$(BUILD)/bench/newton_bench

clean:
	rm -rf $(BUILD)

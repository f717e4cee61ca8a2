# Front door: `make run` builds and runs the whole chain on its default;
# `make test` builds and runs every test suite. CMAKE_FLAGS goes to every
# configure step (CI passes -DTERN_WERROR=ON: warnings fail the build).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps test-deps asan-test bench clean format format-check tidy

deps:
	@tools/install-deps.sh run

test-deps:
	@tools/install-deps.sh test

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	$(MAKE) --no-print-directory build CMAKE_FLAGS="$(CMAKE_FLAGS) -DTERN_TESTS=OFF -DTERN_BENCH=OFF -DTERN_MEX=OFF -DTERN_PYTHON=OFF" BUILD=$(BUILD)-run
	./$(BUILD)-run/tern run

test: test-deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan-test: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTERN_SANITIZE=ON -DTERN_MEX=ON -DTERN_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE slow

bench: test-deps build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# The tree's C++ sources, formatted by .clang-format and checked by .clang-tidy.
SOURCES = $(shell git ls-files '*.cpp' '*.hpp' '*.h')

format:
	clang-format -i $(SOURCES)

format-check: test-deps
	clang-format --dry-run --Werror $(SOURCES)

# The bugprone and performance checks of .clang-tidy over the project's own
# sources, with the compile commands of the test build.
tidy: test-deps build
	git ls-files 'src/*.cpp' | xargs -P $(JOBS) -n 4 clang-tidy -p $(BUILD) --quiet --warnings-as-errors='*'

clean:
	rm -rf $(BUILD) $(BUILD)-run $(ASAN_BUILD)

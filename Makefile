# Front door: `make run` builds and runs the whole chain on its default;
# `make test` builds and runs every test suite. CMAKE_FLAGS goes to every
# configure step (CI passes -DTERN_WERROR=ON: warnings fail the build).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps test-deps asan-test bench clean

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

clean:
	rm -rf $(BUILD) $(BUILD)-run $(ASAN_BUILD)

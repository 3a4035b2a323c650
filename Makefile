# Two commands: `make run` builds an optimised program and starts it,
# `make test` builds the suite with sanitizers and runs it.
BUILD_DIR      ?= build
TEST_BUILD_DIR ?= build/test-asan
JOBS           ?= $(shell nproc)

.PHONY: run test configure build build-test deps bench clean

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONALYX_BUILD_TESTS=OFF

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target sonalyx

run: build
	./$(BUILD_DIR)/sonalyx

build-test: deps
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONALYX_SANITIZE=ON -DSONALYX_BUILD_BENCH=OFF
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)

test: build-test
	cd $(TEST_BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Benchmarks print ratios measured side by side in one run.
bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	@for b in $(BUILD_DIR)/bench/*/bench_*; do \
	  if [ -x "$$b" ]; then echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; fi; \
	done

clean:
	rm -rf $(BUILD_DIR)

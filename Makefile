# Two commands: `make run` builds an optimised program and starts it,
# `make test` builds the suite with sanitizers and runs it.
# `make install` (PREFIX, DESTDIR honoured), `make package` (a Debian
# package), `make package-test` (installs it into a clean Debian 12 root and
# starts it there; minutes, so not part of `make test`), `make screenshots`
# (remakes the pictures of the help pages and the README).
BUILD_DIR         ?= build
TEST_BUILD_DIR    ?= build/test-asan
PACKAGE_BUILD_DIR ?= build/package
JOBS              ?= $(shell nproc)
PREFIX            ?= /usr/local
CCACHE            := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: run test configure build build-test deps bench clean install package package-test screenshots

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONALYX_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CCACHE)

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

# The programs with their help, desktop entry, icon and metadata.
install: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target sonalyx_programs
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR)

package: deps
	cmake -S . -B $(PACKAGE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONALYX_BUILD_TESTS=OFF \
	  -DSONALYX_BUILD_BENCH=OFF -DSONALYX_BUILD_TOOLS=OFF -DCMAKE_INSTALL_PREFIX=/usr $(CCACHE)
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS) --target sonalyx_programs
	cd $(PACKAGE_BUILD_DIR) && cpack
	@ls -1 $(PACKAGE_BUILD_DIR)/*.deb

package-test: package
	scripts/package-test.sh $(PACKAGE_BUILD_DIR)

screenshots: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target sonalyx-screenshots
	./$(BUILD_DIR)/tools/screenshots/sonalyx-screenshots data/help de en

clean:
	rm -rf $(BUILD_DIR)

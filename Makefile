# Two commands: `make run` builds the optimised programs (the window program
# and sonalyx-measure beside it) and starts the window program,
# `make test` builds the suite with sanitizers and runs it.
# `make install` (PREFIX, DESTDIR honoured), `make package` (a Debian
# package), `make package-test` (installs it into a clean Debian 12 root and
# starts it there; minutes, so not part of `make test`), `make screenshots`
# (remakes the pictures of the help pages and the README). `make fuzz` and
# `make tsan` need clang and build trees of their own; `make soak` is the
# long run of the analyser.
BUILD_DIR         ?= build
TEST_BUILD_DIR    ?= build/test-asan
PACKAGE_BUILD_DIR ?= build/package
FUZZ_BUILD_DIR    ?= build/fuzz
TSAN_BUILD_DIR    ?= build/tsan
FUZZ_SECONDS      ?= 60
FUZZ_LONG_SECONDS ?= 30
SOAK_MINUTES      ?= 10
FUZZ_TARGETS      := settings correction wavefile limits measurementfile devicename report
JOBS              ?= $(shell nproc)
PREFIX            ?= /usr/local
CCACHE            := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: run test configure build build-test deps deps-clang bench soak fuzz tsan clean install package package-test screenshots

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONALYX_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CCACHE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target sonalyx sonalyx-measure

run: build
	./$(BUILD_DIR)/sonalyx

build-test: deps
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONALYX_SANITIZE=ON -DSONALYX_BUILD_BENCH=OFF -DSONALYX_BUILD_TOOLS=OFF $(CCACHE)
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

# The long run of the analyser with the generator playing (SOAK_MINUTES=60 for an hour).
soak: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target analyser_soak
	./$(BUILD_DIR)/bench/analyser/analyser_soak $(SOAK_MINUTES)

deps-clang: deps
	@scripts/install-deps.sh clang libclang-rt-dev

# Each fuzz target runs for FUZZ_SECONDS on a copy of its seed corpus with
# inputs of up to 4 KiB, then for FUZZ_LONG_SECONDS with inputs of up to
# 1 MiB; what it finds is left in $(FUZZ_BUILD_DIR)/findings/<target>, and a
# failure stops the run.
fuzz: deps-clang
	cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DSONALYX_FUZZ=ON -DSONALYX_SANITIZE=ON -DSONALYX_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  work=$(FUZZ_BUILD_DIR)/findings/$$t; mkdir -p $$work/corpus; \
	  cp tests/fuzz/corpus/$$t/* $$work/corpus/; \
	  for run in "$(FUZZ_SECONDS) 4096" "$(FUZZ_LONG_SECONDS) 1048576"; do \
	    set -- $$run; \
	    echo "== fuzz_$$t for $$1 s, inputs up to $$2 bytes"; \
	    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/fuzz/lsan.supp \
	    UBSAN_OPTIONS=print_stacktrace=1 ./$(FUZZ_BUILD_DIR)/tests/fuzz/fuzz_$$t -max_total_time=$$1 -max_len=$$2 \
	      -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 -dict=tests/fuzz/$$t.dict \
	      -artifact_prefix=$$work/ -print_final_stats=1 $$work/corpus \
	      2>$$work/log.txt || { tail -60 $$work/log.txt; exit 1; }; \
	    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" $$work/log.txt; \
	  done; \
	done

# The engine, virtual card, ALSA and PipeWire tests under ThreadSanitizer. Qt and the
# sound libraries are not built for it: posted messages announce their
# hand-over, and tests/tsan.supp names the reports of library internals.
TSAN_TESTS := audio_samplecodec_test audio_enginesettings_test audio_capture_test audio_devices_test \
              audio_virtualcard_test audio_mixer_test output_engine_test output_snapshot_test \
              output_alsa_test alsa_file_test alsa_enumeration_test alsa_pipewire_test \
              pipewire_names_test pipewire_backend_test
TSAN_CTESTS := $(TSAN_TESTS) pipewire_rates_test
tsan: deps-clang
	cmake -S . -B $(TSAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSONALYX_TSAN=ON -DSONALYX_BUILD_BENCH=OFF
	cmake --build $(TSAN_BUILD_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	cd $(TSAN_BUILD_DIR) && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) -R '^($(subst $(eval) ,|,$(strip $(TSAN_CTESTS))))$$'

clean:
	rm -rf $(BUILD_DIR)

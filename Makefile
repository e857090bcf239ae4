# Entry points. Every target installs the Debian packages it needs first,
# from the lists in scripts/packages/ (run, plus test, bench or fuzz).
#   make run         build and start the editor (RUN_ARGS=scene.qbx opens a scene)
#   make test        build with ASan+UBSan and run every test (offscreen)
#   make bench       Release build of the benchmarks, then run them
#   make fuzz        clang/libFuzzer build of the loader fuzzer, run for FUZZ_SECONDS
#   make screenshot  docs/screenshot.png and the palette pictures, taken under Xvfb
#   make fuzz-journal  the same for the recovery journal reader
#   make deb         Release build packed as tesk_VERSION_ARCH.deb in the project root
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
BENCH_FILTER ?= .

.PHONY: deps-run deps-test deps-bench deps-fuzz deps-deb run test bench fuzz fuzz-journal deb screenshot clean

deps-run:
	@bash scripts/install-deps.sh run
deps-test:
	@bash scripts/install-deps.sh run test
deps-bench:
	@bash scripts/install-deps.sh run bench
deps-fuzz:
	@bash scripts/install-deps.sh run fuzz
deps-deb:
	@bash scripts/install-deps.sh run deb

build/run/CMakeCache.txt: | deps-run
	cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESK_TESTS=OFF

# Without a display there is nothing to run the editor on: say so before building.
ifeq ($(strip $(DISPLAY)$(WAYLAND_DISPLAY)$(QT_QPA_PLATFORM)),)
run:
	@echo "tesk: no graphical display (DISPLAY or WAYLAND_DISPLAY is not set)" >&2; exit 1
else
run: deps-run build/run/CMakeCache.txt
	cmake --build build/run -j$(JOBS) --target tesk
	./build/run/bin/tesk $(RUN_ARGS)
endif

test: deps-test
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DTESK_SANITIZE=ON
	cmake --build build/test -j$(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j$(JOBS)

bench: deps-bench
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTESK_BENCH=ON -DTESK_TESTS=OFF
	cmake --build build/release -j$(JOBS) --target tesk_bench
	QT_QPA_PLATFORM=offscreen ./build/release/bin/tesk_bench --benchmark_filter='$(BENCH_FILTER)'

fuzz: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DTESK_FUZZ=ON
	cmake --build build/fuzz -j$(JOBS) --target qbx_fuzz
	mkdir -p fuzz-corpus && cp -n tests/data/qbx-vectors/*.qbx fuzz-corpus/ 2>/dev/null || true
	./build/fuzz/bin/qbx_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 fuzz-corpus tests/data/qbx-vectors tests/data/regressions

fuzz-journal: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DTESK_FUZZ=ON
	cmake --build build/fuzz -j$(JOBS) --target journal_fuzz
	mkdir -p fuzz-journal-corpus
	./build/fuzz/bin/journal_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 fuzz-journal-corpus tests/data/journals

deb: deps-deb
	cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=Release -DTESK_TESTS=OFF
	cmake --build build/deb -j$(JOBS)
	rm -f build/deb/tesk_*.deb
	cd build/deb && cpack -G DEB
	cp build/deb/tesk_*.deb .
	@if command -v lintian >/dev/null; then lintian tesk_*.deb; fi

screenshot:
	bash scripts/screenshot.sh

clean:
	rm -rf build

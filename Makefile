# Two set-up commands: `make run` and `make test`. Everything else is optional.
JOBS ?= $(shell nproc)
BUILD ?= build
TESTBUILD ?= build-test

.PHONY: all deps build run test bench fuzz clean

all: build

deps:
	@bash scripts/deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLANILLA_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The demo installation is created on first use; the program starts in its directory.
run: build
	@if [ ! -e demo/VIA.DBF ] && [ ! -e demo/via.dbf ]; then \
	  rm -rf demo; ./$(BUILD)/cli/planilla-cli init demo --company demo/EMP01 --demo; fi
	cd demo && ../$(BUILD)/planilla

# Tests run in a sanitizer build (address + undefined behaviour).
test: deps
	cmake -S . -B $(TESTBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLANILLA_SANITIZE=ON -DPLANILLA_TESTS=ON >/dev/null
	cmake --build $(TESTBUILD) -j $(JOBS)
	cd $(TESTBUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLANILLA_TESTS=OFF -DPLANILLA_BENCH=ON >/dev/null
	cmake --build build-bench -j $(JOBS)
	./build-bench/bench/xbase_bench

FUZZ_SECONDS ?= 30
# New inputs go to a scratch corpus; the seeds in fuzz/corpus stay as committed.
fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLANILLA_TESTS=OFF -DPLANILLA_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz/fuzz_*; do \
	  n=$$(basename $$f); scratch=$$(mktemp -d); echo "== $$n"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -artifact_prefix=build-fuzz/ $$scratch fuzz/corpus/$$n || { rm -rf $$scratch; exit 1; }; \
	  rm -rf $$scratch; done

clean:
	rm -rf $(BUILD) $(TESTBUILD) build-bench build-fuzz

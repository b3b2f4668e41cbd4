# A thin front door over CMake: `make test`, `make run`, `make install`.
BUILD      ?= build
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# Debian packages the build and the tests need.
DEB_PACKAGES := build-essential cmake pkg-config libsqlite3-dev libicu-dev \
                nlohmann-json3-dev libgtest-dev libbenchmark-dev faketime sqlite3
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps e2e-deps configure build test run install fuzz fuzz-run bench bench-run test-sanitize clean

all: build

deps:
	@bash tools/install-deps.sh $(DEB_PACKAGES)
	@command -v npm >/dev/null 2>&1 || bash tools/install-deps.sh nodejs npm

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTASKORY_WERROR=$(WERROR) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

e2e-deps:
	cd tests/e2e && npm ci --no-audit --no-fund --silent

test: build e2e-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Build output goes to stderr: stdout belongs to the protocol.
run:
	@$(MAKE) --no-print-directory build >&2
	@exec $(BUILD)/taskory_mcp/taskory_mcp

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTASKORY_BUILD_FUZZ=ON -DTASKORY_BUILD_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)

FUZZ_SECONDS ?= 60
fuzz-run: fuzz
	mkdir -p build-fuzz/corpus-line
	build-fuzz/fuzz/line_handler_fuzzer build-fuzz/corpus-line fuzz/corpus/line -dict=fuzz/line.dict -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -rss_limit_mb=2048
	mkdir -p build-fuzz/corpus-tools
	build-fuzz/fuzz/tool_arguments_fuzzer build-fuzz/corpus-tools fuzz/corpus/tool_arguments -max_total_time=$(FUZZ_SECONDS) -max_len=2048 -rss_limit_mb=2048

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTASKORY_BUILD_BENCH=ON -DTASKORY_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

test-sanitize: deps e2e-deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTASKORY_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

bench-run: bench
	build-bench/bench/ReadToolsBench --benchmark_min_time=1
	build-bench/bench/WriteBench
	node bench/stdio_bench.mjs build-bench

clean:
	rm -rf $(BUILD) build-fuzz build-bench build-asan

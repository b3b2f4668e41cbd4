# A thin front door over CMake: `make run`, `make test`, `make install`.
BUILD      ?= build
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# Debian packages that building the stdio server needs...
BUILD_PACKAGES := build-essential cmake pkg-config libsqlite3-dev libicu-dev \
                  nlohmann-json3-dev
# ...those the HTTP mode adds (Boost.Beast, headers only; libcrypto for the
# board's HMAC; zlib for its gzip)...
HTTP_PACKAGES  := libboost-dev libssl-dev zlib1g-dev
# ...and those only the tests, benchmarks and the package check need (lintian,
# hardening-check from devscripts and man-db's man judge the package).
TEST_PACKAGES  := libgtest-dev libbenchmark-dev faketime sqlite3 nodejs npm dpkg-dev \
                  lintian devscripts man-db chromium
comma  := ,
WERROR := $(if $(CI),ON,OFF)
CCACHE   := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# ccache caches units built with a precompiled header only with these two
# sloppiness settings; they are added to whatever the user configured.
ifneq ($(CCACHE),)
export CCACHE_SLOPPINESS := $(subst $(eval) ,$(comma),$(sort $(subst $(comma), ,$(shell ccache -k sloppiness 2>/dev/null)) pch_defines time_macros))
endif
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTASKORY_WERROR=$(WERROR) $(LAUNCHER) $(CMAKE_ARGS)

.PHONY: all deps http-deps test-deps e2e-deps server servers configure build test run install uninstall package \
        fuzz fuzz-run bench bench-run test-sanitize test-powerloss clean

all: build

deps:
	@bash tools/install-deps.sh $(BUILD_PACKAGES)

http-deps: deps
	@bash tools/install-deps.sh $(HTTP_PACKAGES)

test-deps: http-deps
	@bash tools/install-deps.sh $(TEST_PACKAGES)

# The server alone. A fresh build directory is configured without the tests,
# so neither their packages nor their build stand between a clone and a
# running server; an existing one keeps its settings (`make test` later only
# adds the test targets, nothing is rebuilt).
server: deps
	@test -f $(BUILD)/CMakeCache.txt || $(CONFIGURE) -DTASKORY_BUILD_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target taskory_mcp

# Both executables: the stdio server and taskory_mcp_http, which it runs for
# --http. What is installed and packaged.
servers: http-deps server
	cmake $(BUILD)
	cmake --build $(BUILD) -j $(JOBS) --target taskory_mcp taskory_mcp_http

configure: test-deps
	$(CONFIGURE) -DTASKORY_BUILD_TESTS=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

e2e-deps: test-deps
	cd tests/e2e && npm ci --no-audit --no-fund --silent

test: build e2e-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Build output goes to stderr: stdout belongs to the protocol.
run:
	@$(MAKE) --no-print-directory server >&2
	@exec $(BUILD)/taskory_mcp/taskory_mcp

install: servers
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

uninstall:
	@bash tools/uninstall.sh $(BUILD)/install_manifest.txt $(PREFIX)

package: servers
	@bash tools/package.sh $(BUILD) $(BUILD)

fuzz: test-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTASKORY_BUILD_FUZZ=ON -DTASKORY_BUILD_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)

FUZZ_SECONDS ?= 60
fuzz-run: fuzz
	mkdir -p build-fuzz/corpus-line
	build-fuzz/fuzz/line_handler_fuzzer build-fuzz/corpus-line fuzz/corpus/line -dict=fuzz/line.dict -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -rss_limit_mb=2048
	mkdir -p build-fuzz/corpus-tools
	build-fuzz/fuzz/tool_arguments_fuzzer build-fuzz/corpus-tools fuzz/corpus/tool_arguments -max_total_time=$(FUZZ_SECONDS) -max_len=2048 -rss_limit_mb=2048

bench: test-deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTASKORY_BUILD_BENCH=ON -DTASKORY_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

test-sanitize: e2e-deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTASKORY_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The power-loss test with many more crash images than the CTest pass.
POWERLOSS_CUTS ?= 1500
test-powerloss: build
	cd $(BUILD) && TZ=Europe/Berlin LC_ALL=de_DE.UTF-8 TASKORY_POWERLOSS_CUTS=$(POWERLOSS_CUTS) tests/powerloss_tests

bench-run: bench
	build-bench/bench/ReadToolsBench --benchmark_min_time=1
	build-bench/bench/WriteBench
	node bench/stdio_bench.mjs build-bench

clean:
	rm -rf $(BUILD) build-fuzz build-bench build-asan

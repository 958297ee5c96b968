# Thin wrapper over CMake. `make test` is what CI runs.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
COV_BUILD  ?= build-coverage
# Seconds each fuzz target runs under `make fuzz`.
FUZZ_SECONDS ?= 600
JOBS       ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)

# Debian packages. RUN_PACKAGES build and run velmo-fit (`make run`; yosys
# and python3 for tools/velmo-synth); TEST_PACKAGES add what the tests, the
# benches, `make fuzz`, fit-bench (jq) and coverage need. `make deps` installs
# both.
RUN_PACKAGES  := g++ cmake ninja-build make binutils libtbb-dev libboost-dev tcl-dev qtbase5-dev \
                 nlohmann-json3-dev yosys python3
TEST_PACKAGES := libgtest-dev libgmock-dev libbenchmark-dev libabsl-dev libsparsehash-dev jq \
                 clang libclang-rt-14-dev ccache iverilog ghdl nextpnr-generic gcovr lcov
PACKAGES      := $(RUN_PACKAGES) $(TEST_PACKAGES)

# Compiles go through ccache: CI builds a clean checkout twice (normal and
# sanitizer), and the cache keeps a rebuild of unchanged sources cheap. Paths
# are hashed relative to the checkout so another checkout of the same tree
# hits the same entries.
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: deps deps-run configure build test run bench fit-bench threads-bench sanitize fuzz coverage clean

# Installs whichever of $(1) are missing.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

deps-run:
	$(call install_missing,$(RUN_PACKAGES))

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

$(BUILD)/build.ninja:
	$(CONFIGURE)

# A build directory `make run` configured has the tests and benches off: on.
build: deps $(BUILD)/build.ninja
	@grep -q '^VELMO_TESTS:BOOL=ON' $(BUILD)/CMakeCache.txt && grep -q '^VELMO_BENCHES:BOOL=ON' $(BUILD)/CMakeCache.txt \
	  || $(CONFIGURE) -DVELMO_TESTS=ON -DVELMO_BENCHES=ON
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(CTEST_JOBS) --timeout 300

# Only what velmo-fit needs: the program, the component and the stand-in host.
# A new build directory is configured without the tests and benches, whose
# libraries `make deps-run` does not install.
run: deps-run
	@[ -f $(BUILD)/build.ninja ] || $(CONFIGURE) -DVELMO_TESTS=OFF -DVELMO_BENCHES=OFF
	cmake --build $(BUILD) -j $(JOBS) --target velmo-fit
	$(BUILD)/velmo-fit

bench: build
	$(BUILD)/velmo_bench

# velmo-fit on every bundled design: time per stage, memory, routing, slack.
fit-bench: build
	bench/fit_designs.sh $(BUILD)

# The same fits with 1 and with 8 threads must give the same results.
threads-bench: build
	bench/fit_threads.sh $(BUILD)

# velmo-fit on 1, 2, 4 and 8 merged copies of a bundled design (DESIGN,
# default frisc): time and memory per size and their log-log slopes.
.PHONY: fit-scaling
fit-scaling: build
	bench/fit_scaling.sh $(BUILD) $(or $(DESIGN),frisc)

# velmo-fit on a large design of a congested shape (a store buffer made of
# flip-flops inside a core, beside frisc): seconds per stage, with 8 and 1
# threads, and whether both wrote the same netlists.
.PHONY: fit-large
fit-large: build
	bench/fit_large.sh $(BUILD)

# velmo-fit on the large published designs (mor1kx.blif, mor1kx_sb3.blif
# and aes_128.blif, as .blif.xz in LARGE): seconds per stage, routing
# rounds, and mor1kx's time as a multiple of mor1kx_sb3's.
.PHONY: fit-large-designs
fit-large-designs: build
	bench/fit_large_designs.sh $(or $(LARGE),../shared/designs/large) $(BUILD)

# The post-route retimer's cost on 1, 2 and 4 merged copies of elliptic (or
# DESIGN): the final stage's time, attempts, accepted moves, time per attempt.
# How long a design beyond the largest device takes to be refused.
.PHONY: refuse-bench
refuse-bench: build
	bench/refuse_time.sh $(BUILD)

.PHONY: retime-scaling
retime-scaling: build
	bench/retime_scaling.sh $(BUILD) $(or $(DESIGN),elliptic)

$(SAN_BUILD)/build.ninja:
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON $(LAUNCHER)

sanitize: deps $(SAN_BUILD)/build.ninja
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(CTEST_JOBS) --timeout 600

# Each fuzz target for FUZZ_SECONDS, seeded with the bundled designs (BLIF)
# and the settings examples; a finding stops it and leaves crash-* files in
# $(FUZZ_BUILD). Not part of `make test`.
$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMO_FUZZ=ON

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_blif fuzz_settings fuzz_settings_keys fuzz_cfg
	mkdir -p $(FUZZ_BUILD)/corpus/blif $(FUZZ_BUILD)/corpus/settings $(FUZZ_BUILD)/corpus/settings_keys \
	  $(FUZZ_BUILD)/corpus/cfg
	cp examples/designs/*/*.blif tests/fuzz/regressions/blif/* $(FUZZ_BUILD)/corpus/blif/
	cp tests/fuzz/seeds/settings/* tests/fuzz/regressions/settings/* examples/designs/*/*.json \
	  $(FUZZ_BUILD)/corpus/settings/
	cp tests/fuzz/seeds/settings_keys/* tests/fuzz/regressions/settings_keys/* $(FUZZ_BUILD)/corpus/settings_keys/
	cp tests/fuzz/seeds/cfg/* tests/fuzz/regressions/cfg/* $(FUZZ_BUILD)/corpus/cfg/
	cd $(FUZZ_BUILD) && ASAN_OPTIONS=detect_leaks=0 ./fuzz_blif -max_total_time=$(FUZZ_SECONDS) -max_len=65536 corpus/blif
	cd $(FUZZ_BUILD) && ASAN_OPTIONS=detect_leaks=0 ./fuzz_settings -max_total_time=$(FUZZ_SECONDS) -max_len=4096 corpus/settings
	cd $(FUZZ_BUILD) && ASAN_OPTIONS=detect_leaks=0 ./fuzz_settings_keys -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  corpus/settings_keys
	cd $(FUZZ_BUILD) && ASAN_OPTIONS=detect_leaks=0 ./fuzz_cfg -max_total_time=$(FUZZ_SECONDS) -max_len=256 corpus/cfg

# Line and branch coverage of the component (fitter/velmo/) by the whole
# suite: an unoptimised --coverage build of its own, every test, then one row
# per file, lowest line coverage first. Failing tests are reported and the
# table is printed all the same. The counters are updated atomically: the
# component's worker threads would otherwise race on them.
COV_FLAGS := --coverage -fprofile-update=atomic
# One row per file (lowest line coverage first), then the total.
COV_ROW = "\(.line_percent)% (\(.line_covered)/\(.line_total))\t\(if .branch_total == 0 then "no branches" else "\(.branch_percent)% (\(.branch_covered)/\(.branch_total))" end)\t\(.filename // "total")"
COV_TABLE = "lines\tbranches\tfile", (.files | sort_by(.line_percent, .branch_percent)[] | $(COV_ROW)), ($(COV_ROW))
$(COV_BUILD)/build.ninja:
	cmake -S . -B $(COV_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=$(COV_FLAGS)" "-DCMAKE_C_FLAGS=$(COV_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
	  -DCMAKE_MODULE_LINKER_FLAGS=--coverage $(LAUNCHER)

coverage: deps $(COV_BUILD)/build.ninja
	cmake --build $(COV_BUILD) -j $(JOBS)
	find $(COV_BUILD) -name '*.gcda' -delete
	cd $(COV_BUILD) && ctest -j $(CTEST_JOBS) --timeout 1800 > ctest.log 2>&1 || \
	  echo "coverage: some tests failed, see $(COV_BUILD)/ctest.log"
	gcovr -r . --object-directory $(COV_BUILD) --filter 'fitter/velmo/' -j $(JOBS) --gcov-ignore-parse-errors \
	  --exclude-unreachable-branches --exclude-throw-branches --json-summary $(COV_BUILD)/coverage.json
	@jq -r '$(COV_TABLE)' $(COV_BUILD)/coverage.json | column -t -s "$$(printf '\t')"

# Plants small faults, one at a time, in the lines changed since BASE=<commit>
# (or FILES=..., LINES=file:a-b ...) and reports the ones no test notices;
# TESTS=<ctest regex> narrows the tests run; SAMPLE=N SEED=S plants only N
# mutants of each file, spread over it. See docs/mutants.md.
.PHONY: mutants
mutants: build
	tools/mutants --build $(BUILD) --jobs $(JOBS) $(if $(BASE),--base "$(BASE)") $(if $(FILES),--files "$(FILES)") \
	  $(if $(LINES),--lines "$(LINES)") $(if $(TESTS),--tests "$(TESTS)") \
	  $(if $(SAMPLE),--sample "$(SAMPLE)") $(if $(SEED),--seed "$(SEED)")

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(COV_BUILD)

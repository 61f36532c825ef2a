# Every command a developer or CI needs. `make demo` and `make test` do all the set-up on a fresh
# machine: system packages through apt-get when missing, Python packages into .venv.

PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python
BUILD := build
ASAN_BUILD := build-asan
CMAKE := $(VENV)/bin/cmake
JOBS ?= $(shell nproc)
# Set-up commands whose output is printed only when they fail.
QUIET := $(CURDIR)/tools/quiet

.PHONY: memcheck clang-tools dist-check dist-aarch64 spark-check all demo test cpp-test py-test build wheel install system-deps venv sanitize fuzz bench stress format tidy clean

all: test

# --- set-up -------------------------------------------------------------------------------------

system-deps:
	@if [ ! -f /usr/include/gtest/gtest.h ] || [ ! -f /usr/include/CLI/CLI.hpp ] || \
	  [ ! -f /usr/include/boost/beast.hpp ] || ! command -v git >/dev/null; then \
	  echo "installing libgtest-dev, libcli11-dev, libboost-dev (Beast, for trovik serve) and git"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev \
	    libcli11-dev libboost-dev git; \
	fi
	@if [ ! -f /usr/share/javascript/dygraphs/dygraph.min.js ] || ! command -v node >/dev/null; then \
	  echo "installing libjs-dygraphs (the report's charts) and nodejs (the page script's tests)"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libjs-dygraphs nodejs >/dev/null; \
	fi
	@if ! command -v chromium >/dev/null || ! command -v chromedriver >/dev/null; then \
	  echo "installing chromium and chromium-driver for the report's browser tests"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium chromium-driver >/dev/null; \
	fi

$(VENV)/.ready: requirements-dev.txt requirements-test.txt
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q -r requirements-dev.txt
	touch $@

venv: $(VENV)/.ready

# --- build --------------------------------------------------------------------------------------

build: venv system-deps
	$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTROVIK_BUILD_TESTS=ON -DTROVIK_WERROR=ON -DPython_EXECUTABLE=$(abspath $(VPY))
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# The abi3 wheel, built from this tree with the venv's build backend, then installed into the venv
# (not an editable install), so the Python tests see exactly what users get.
wheel: venv system-deps
	rm -rf dist
	$(VPY) -m pip wheel -q --no-build-isolation --no-deps -w dist .

install: wheel
	$(VPY) -m pip install -q --force-reinstall --no-deps dist/trovik-*.whl

# The release check: sdist, then the manylinux2014 wheel built from it with Zig's toolchain, checked
# by auditwheel and twine, installed into a clean environment and tested there (packaging/dist_check.sh).
dist-check: venv system-deps
	$(QUIET) $(VPY) -m pip install -r packaging/requirements.txt
	packaging/dist_check.sh $(VPY) $(PYTHON) dist-check

# The same for aarch64, cross-built, and smoke-tested under qemu-user (packaging/dist_aarch64.sh).
dist-aarch64: venv system-deps
	$(QUIET) $(VPY) -m pip install -r packaging/requirements.txt
	packaging/dist_aarch64.sh $(VPY) dist-aarch64

# examples/spark_runs.py's query over run files made by the module, on a local Spark: pyspark from
# PyPI into .venv, a Java runtime from Debian when there is none. Not part of `make test`.
spark-check: install
	$(QUIET) $(VPY) -m pip install pyspark
	@command -v java >/dev/null || $(QUIET) sh -c 'apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq default-jre-headless'
	cd /tmp && $(abspath $(VPY)) $(abspath tools/spark_check.py)

# --- the two commands of the README -------------------------------------------------------------

demo: install
	$(VPY) examples/demo.py

# Prints the test runners' summaries and little else when everything passes; the output of a
# failing set-up, build or test step is printed in full.
test:
	@$(QUIET) $(MAKE) --no-print-directory build wheel
	@$(MAKE) --no-print-directory cpp-test py-test

cpp-test:
	@$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) >$(BUILD)/ctest.log 2>&1 \
	  || { cat $(BUILD)/ctest.log; exit 1; }
	@sed -n '/tests passed/,$$p' $(BUILD)/ctest.log

# The Python tests run against the built wheel installed into a fresh virtual environment, so a file
# missing from the wheel fails them.
TEST_VENV := .venv-test
py-test:
	@rm -rf $(TEST_VENV)
	@$(QUIET) $(PYTHON) -m venv $(TEST_VENV)
	@$(QUIET) $(TEST_VENV)/bin/python -m pip install -r requirements-test.txt dist/trovik-*.whl
	@cd /tmp && $(abspath $(TEST_VENV))/bin/python -m pytest -q -p no:cacheprovider $(abspath tests/python)

# --- checks -------------------------------------------------------------------------------------

# AddressSanitizer + UndefinedBehaviorSanitizer over the C++ tests and the whole Python suite, the
# command's tests running the sanitizer build of `trovik` (TROVIK_COMMAND). The
# interpreter is not built with ASan, so the runtime is preloaded; its own leaks are not ours. The
# type-checking tests are left out there (they run mypy, not trovik, against the installed wheel), and
# so are the resident-memory bounds: ASan's allocator quarantines freed memory by design. The
# report's browser tests start Chromium without the preloaded runtimes.
sanitize: venv system-deps
	$(CMAKE) -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTROVIK_BUILD_TESTS=ON \
	  -DTROVIK_SANITIZE=ON -DPython_EXECUTABLE=$(abspath $(VPY))
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	$(VENV)/bin/ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	cd /tmp && TROVIK_MODULE_DIR=$(abspath $(ASAN_BUILD)) PYTHONPATH=$(abspath $(ASAN_BUILD)) \
	  TROVIK_COMMAND=$(abspath $(ASAN_BUILD))/src/cli/trovik \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libubsan.so)" \
	  $(abspath $(VPY)) -m pytest -q -p no:cacheprovider $(abspath tests/python) -k "not typing and not memory"

# valgrind memcheck over the C++ unit tests: no invalid access, no use of uninitialised memory, no
# definite leak. The descriptor-limit tests are left out: valgrind keeps descriptors of its own
# under the limit a test sets, so there the limit means something else.
memcheck: build
	@for t in $(BUILD)/tests/cpp/*_tests; do \
	  echo "memcheck $$t"; \
	  valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
	    --suppressions=tests/cpp/valgrind.supp $$t --gtest_brief=1 --gtest_filter=-*DescriptorLimit* \
	    || exit 1; \
	done

clang-tools:
	@command -v clang-tidy >/dev/null && command -v clang-format >/dev/null || { \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-tidy clang-format; }

format: clang-tools
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')

tidy: build clang-tools
	clang-tidy -p $(BUILD) --quiet $$(git ls-files 'src/*.cpp')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) dist

# The reader fuzz target for a fixed budget, with the committed seed corpus.
fuzz: venv system-deps
	tests/fuzz/run.sh

# Benchmarks: ratios against the floor and the alternatives, printed as a table and saved as JSON.
# The server's load test drives it with wrk, from Debian.
bench: install
	$(VPY) -m pip install -q -r benchmarks/requirements.txt
	@command -v wrk >/dev/null || $(QUIET) sh -c 'apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wrk'
	$(VPY) benchmarks/run.py --json benchmarks/results.json

# The long variants of the reliability tests.
stress: install
	cd /tmp && TROVIK_STRESS=1 $(abspath $(VPY)) -m pytest -q -p no:cacheprovider $(abspath tests/python) -k stress

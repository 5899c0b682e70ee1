# Set-up, build, demo and tests. `make demo` and `make test` each do all the
# set-up a fresh machine needs.
SHELL := /bin/bash
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
JOBS := $(shell nproc 2>/dev/null || echo 2)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
ASAN_DIR := build/asan

export CMAKE_BUILD_PARALLEL_LEVEL := $(JOBS)

.PHONY: all system-deps venv install demo test test-stubs stubs test-python test-efence sanitized-build test-asan test-native fuzz bench clean

all: install

# Debian packages: Eigen 3.4, GoogleTest, and electric-fence for the
# guard-page runs. BLAS and LAPACK come from the Python package
# scipy-openblas32 (a current OpenBLAS), installed in the virtual environment.
system-deps:
	@if [ ! -f /usr/include/eigen3/Eigen/Core ] || [ ! -f /usr/include/gtest/gtest.h ] || \
	    [ ! -e /usr/lib/libefence.so ]; then \
	  $(SUDO) apt-get update && \
	  $(SUDO) apt-get install -y libeigen3-dev libgtest-dev electric-fence; \
	fi
	@if ! command -v clang++ > /dev/null || \
	    [ ! -f "$$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-$$(uname -m).a" ]; then \
	  $(SUDO) apt-get update && $(SUDO) apt-get install -y clang libclang-rt-dev; \
	fi

$(VENV)/.ready-2:
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --upgrade pip
	$(PY) -m pip install "pybind11>=2.11,<2.12" "scikit-build-core>=0.11" cmake ninja pytest numpy \
	  "scipy-openblas32>=0.3.34"
	touch $@

# Dask, for the velorin_dask package and its tests; a stamp of its own so that
# an existing environment gets it too.
$(VENV)/.dask-ready: $(VENV)/.ready-2
	$(PY) -m pip install dask distributed tqdm
	touch $@

venv: system-deps $(VENV)/.ready-2 $(VENV)/.dask-ready

# Builds in build/make/<wheel tag>, apart from the folder of a plain
# `pip install .` (whose isolated build tools differ), so that neither
# rebuilds everything after the other.
install: venv
	$(PY) -m pip install --no-build-isolation --no-deps . $(PIP_OUTPUT) -C build-dir=build/make/{wheel_tag} \
	  -C cmake.define.VELORIN_WERROR=ON

# The demo shows the compile's progress (a first build takes minutes).
PIP_OUTPUT ?= -q
demo: PIP_OUTPUT := -v
demo: install
	$(PY) examples/demo.py

test: test-stubs test-python test-native test-efence test-asan fuzz

# The shipped type stubs must be those the module gives now (`make stubs`
# writes them), and the type checker must accept the examples and a program
# over the main API with them.
STUB_TOOLS := "pybind11-stubgen==3.0.0" "mypy==2.4.1"
$(VENV)/.ready-stubs: $(VENV)/.ready-2
	$(PY) -m pip install -q $(STUB_TOOLS)
	touch $@
stubs: install $(VENV)/.ready-stubs
	$(PY) tools/stubs.py python/VelorinLib.pyi
test-stubs: install $(VENV)/.ready-stubs
	$(PY) tools/stubs.py --check python/VelorinLib.pyi
	$(VENV)/bin/mypy --strict --no-incremental examples tests/typing

test-python: install
	cd tests && ../$(PY) -m pytest -q

# A few circuits on the release build with every heap block placed against a
# guard page: a read past any block, ours or a library's, ends the run. The
# processor's faster kernels are forced too (BLAS_KERNELS), whatever it
# detects: some of them read past a vector's end.
EFENCE_RANDOM ?= 30
test-efence: install
	cd tests && for core in $(BLAS_KERNELS); do echo "OpenBLAS kernels: $$core"; \
	  OPENBLAS_CORETYPE=$${core#detected} LD_PRELOAD=/usr/lib/libefence.so EF_ALLOW_MALLOC_0=1 \
	    ../$(PY) guard_page_run.py --random $(EFENCE_RANDOM) 2>&1 | grep -v "Electric Fence\|^$$"; \
	  [ "$${PIPESTATUS[0]}" = 0 ] || exit 1; done

# One build with AddressSanitizer and UBSan (optimised, with debug information)
# serves the native tests and the second Python run.
sanitized-build: venv
	$(VENV)/bin/cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELORIN_SANITIZE=ON -DVELORIN_BUILD_TESTS=ON -DVELORIN_WERROR=ON -Dpybind11_DIR=$$($(PY) -m pybind11 --cmakedir) \
	  -DPython_EXECUTABLE=$(abspath $(PY)) > /dev/null
	$(VENV)/bin/cmake --build $(ASAN_DIR)

# Native C++ tests (GoogleTest through CTest), under the sanitizers; the
# guarded decompositions also on an optimised build, whose kernels differ.
RELEASE_NATIVE_DIR := build/native-release
test-native: sanitized-build
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=0 ../../$(VENV)/bin/ctest --output-on-failure -j $(JOBS)
	$(VENV)/bin/cmake -S . -B $(RELEASE_NATIVE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DVELORIN_BUILD_TESTS=ON -DVELORIN_WERROR=ON -Dpybind11_DIR=$$($(PY) -m pybind11 --cmakedir) \
	  -DPython_EXECUTABLE=$(abspath $(PY)) > /dev/null
	$(VENV)/bin/cmake --build $(RELEASE_NATIVE_DIR) --target test_engine_svd_guard test_engine_svd
	$(RELEASE_NATIVE_DIR)/tests/native/test_engine_svd
	for core in $(BLAS_KERNELS); do \
	  OPENBLAS_CORETYPE=$${core#detected} $(RELEASE_NATIVE_DIR)/tests/native/test_engine_svd_guard \
	    --gtest_brief=1 || exit 1; \
	  OPENBLAS_CORETYPE=$${core#detected} LD_PRELOAD=/usr/lib/libefence.so EF_ALLOW_MALLOC_0=1 \
	    $(RELEASE_NATIVE_DIR)/tests/native/test_engine_svd_guard --gtest_brief=1 2>&1 | \
	    grep -v "Electric Fence\|^$$"; [ "$${PIPESTATUS[0]}" = 0 ] || exit 1; \
	done

# The processor's own OpenBLAS kernels, and the older ones it can also run:
# an over-read may hide in any of them.
BLAS_KERNELS = detected $(shell grep -qw avx512f /proc/cpuinfo && echo SKYLAKEX) \
  $(shell grep -qw avx2 /proc/cpuinfo && echo HASWELL) \
  $(shell grep -qw avx /proc/cpuinfo && echo SANDYBRIDGE) PRESCOTT

# The Python suite again on the sanitized build; leaks are not checked (the
# interpreter keeps much alive at exit), any other report fails.
test-asan: sanitized-build
	cd tests && LD_PRELOAD="$$(gcc -print-file-name=libasan.so):$$(gcc -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  PYTHONMALLOC=malloc PYTHONPATH=$(abspath $(ASAN_DIR)) VELORIN_EXPECT_BUILD=$(abspath $(ASAN_DIR)) \
	  ../$(PY) -m pytest -q -p no:cacheprovider

# The OpenQASM reader under libFuzzer with the sanitizers, from the seed corpus
# in tests/qasm; FUZZ_SECONDS bounds the run.
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_SOURCES := $(wildcard src/qasm/*.cpp src/circuit/*.cpp src/composite/*.cpp src/platform/*.cpp)
OPENBLAS_INCLUDE = $(shell $(PY) -c "import scipy_openblas32 as s; print(s.get_include_dir())")
$(FUZZ_DIR)/qasm_fuzz: tests/fuzz/qasm_fuzz.cpp $(FUZZ_SOURCES) $(wildcard src/*/*.h src/*/*.def) | venv
	mkdir -p $(FUZZ_DIR)
	clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
	  -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION \
	  -Isrc -I/usr/include/eigen3 -isystem $(OPENBLAS_INCLUDE) $< $(FUZZ_SOURCES) -ldl -o $@

# The byte-form decoders (pickling) likewise, from the seed corpus in
# tests/serialize, for SERIALIZE_FUZZ_SECONDS.
SERIALIZE_FUZZ_SECONDS ?= 30
SERIALIZE_FUZZ_SOURCES := $(FUZZ_SOURCES) $(wildcard src/engine/*.cpp src/runtime/*.cpp src/draw/*.cpp)
$(FUZZ_DIR)/serialize_fuzz: tests/fuzz/serialize_fuzz.cpp $(SERIALIZE_FUZZ_SOURCES) $(wildcard src/*/*.h src/*/*.def) | venv
	mkdir -p $(FUZZ_DIR)
	clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
	  -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION \
	  -Isrc -I/usr/include/eigen3 -isystem $(OPENBLAS_INCLUDE) $< $(SERIALIZE_FUZZ_SOURCES) -ldl -pthread -o $@

fuzz: venv $(FUZZ_DIR)/qasm_fuzz $(FUZZ_DIR)/serialize_fuzz
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/serialize-corpus
	$(FUZZ_DIR)/qasm_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/ $(FUZZ_DIR)/corpus tests/qasm
	$(FUZZ_DIR)/serialize_fuzz -max_total_time=$(SERIALIZE_FUZZ_SECONDS) -max_len=8192 -timeout=10 \
	  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/serialize- \
	  $(FUZZ_DIR)/serialize-corpus tests/serialize

# Benchmarks: native programs under bench/ built optimised, then the Python ones.
# BASELINE=<commit> builds that commit beside this one for side-by-side timings;
# quimb gets a virtual environment of its own, used only here.
BASELINE ?=
QUIMB_VENV := build/quimb-venv
bench: install
	@if [ -f bench/CMakeLists.txt ]; then \
	  $(VENV)/bin/cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DVELORIN_BUILD_BENCH=ON -DVELORIN_BUILD_TESTS=OFF \
	    -Dpybind11_DIR=$$($(PY) -m pybind11 --cmakedir) \
	    -DPython_EXECUTABLE=$(abspath $(PY)) > /dev/null && \
	  $(VENV)/bin/cmake --build build/bench && \
	  for b in build/bench/bench/velorin_bench*; do [ -x "$$b" ] && "$$b"; done; \
	fi
	@[ -x $(QUIMB_VENV)/bin/python ] || { $(PYTHON) -m venv $(QUIMB_VENV) && \
	  $(QUIMB_VENV)/bin/pip install -q quimb; } || echo "quimb not installed: compared without it"
	@ref=""; if [ -n "$(BASELINE)" ]; then ref=$$(bench/build_baseline.sh "$(BASELINE)" $(abspath $(PY))); fi; \
	for b in bench/*.py; do [ -f "$$b" ] && BENCH_BASELINE_DIR="$$ref" \
	  BENCH_QUIMB_PYTHON=$(abspath $(QUIMB_VENV))/bin/python $(PY) "$$b"; done; true

clean:
	rm -rf build

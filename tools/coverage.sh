#!/usr/bin/env bash
# Measures the line coverage of src/ by every test: builds an instrumented
# tree in build-cov/ (gcc --coverage, no optimisation), runs the unit, end-to-end
# and fuzz replay tests there, and prints the lines of each file of src/ and
# the total with gcovr. Exits non-zero when a test fails or the total is
# below the minimum (default 95%; QEV_COVERAGE_MIN=NN sets another).
# src/platform/platform_win32.cpp is not built on Linux and is not counted.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-cov
minimum="${QEV_COVERAGE_MIN:-95}"

# Counters are updated atomically: z3 and z4 compress on a second thread,
# and racing updates leave counts that gcovr cannot read (negative ones).
cmake -S . -B "${dir}" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=OFF \
  -DQEV_BUILD_FUZZ=ON -DQEV_LIBFUZZER=OFF -DQEV_SANITIZE=OFF -DQEV_WERROR=ON
cmake --build "${dir}" -j "$(nproc)"
# Counts from an earlier run would add to this one's.
find "${dir}" -name '*.gcda' -delete
ctest --test-dir "${dir}" --output-on-failure --no-tests=error -j "$(nproc)"

# CMake's own compiler probes are built with the flags too; skip them. Only
# the build tree is searched for counts: the rest of the checkout may hold
# links far outside it (Wine's drive z: is the whole file system).
gcovr --root . --object-directory "${dir}" --exclude-directories "${dir}/CMakeFiles/[0-9]" \
  --filter 'src/' --exclude 'src/platform/platform_win32\.cpp' --sort-uncovered \
  --print-summary --fail-under-line "${minimum}" "${dir}"

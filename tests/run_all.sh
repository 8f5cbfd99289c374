#!/usr/bin/env bash
# Builds qev twice, plainly in build/ and with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-san/, and runs every test in both.
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

run_suite() {
  local dir="$1"
  shift
  echo "== ${dir}: configure, build, test"
  cmake -S . -B "${dir}" "$@"
  cmake --build "${dir}" -j "${jobs}"
  ctest --test-dir "${dir}" --output-on-failure --no-tests=error -j "${jobs}"
}

# Options are given in full: build/ may hold a cache from a build without tests.
run_suite build -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=ON -DQEV_SANITIZE=OFF
run_suite build-san -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=OFF -DQEV_SANITIZE=ON

echo "== all tests passed"

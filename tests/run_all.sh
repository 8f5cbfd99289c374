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
  ctest --test-dir "${dir}" --output-on-failure -j "${jobs}"
}

run_suite build
run_suite build-san -DQEV_SANITIZE=ON -DQEV_BUILD_BENCH=OFF

echo "== all tests passed"

#!/usr/bin/env bash
# Builds qev plainly in build/, with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-san/, and for Windows in build-win/,
# and runs every test of each (the Windows ones under wine).
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

# Windows: a cross build in build-win/, its unit tests under wine, and the
# whole end-to-end suite (the native driver) against wine qev.exe. Skipped
# when the cross compiler or wine is missing, unless QEV_REQUIRE_WINDOWS=1.
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  export WINEDEBUG=-all WINEPREFIX="${PWD}/build-win/wine"
  mkdir -p "${WINEPREFIX}"
  # Wine's first start in a fresh prefix takes seconds: start its server
  # once and keep it for the whole stage. Nothing it starts may hold this
  # script's output open.
  wineserver -p </dev/null >/dev/null 2>&1 || true  # fails when one is running already
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wineboot -i </dev/null >/dev/null 2>&1
  run_suite build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQEV_BUILD_TESTS=ON \
    -DQEV_BUILD_BENCH=OFF -DQEV_SANITIZE=OFF
  echo "== build-win: end-to-end suite against wine qev.exe"
  build/tests/qev_e2e_tests --qev="wine '${PWD}/build-win/qev.exe'" --windows
elif [[ "${QEV_REQUIRE_WINDOWS:-0}" == 1 ]]; then
  echo "== build-win: x86_64-w64-mingw32-g++-posix or wine is missing" >&2
  exit 1
else
  echo "== build-win: skipped (no x86_64-w64-mingw32-g++-posix or no wine)"
fi

echo "== all tests passed"

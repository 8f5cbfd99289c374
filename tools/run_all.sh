#!/usr/bin/env bash
# Builds qev and runs every test: plainly in build/ (GCC), as a Release build
# in build-gcc-release/ and with clang in build-clang/, with AddressSanitizer
# and UndefinedBehaviorSanitizer in build-san/, and for Windows in build-win/
# (its tests under wine); checks the packages and the installation of build/
# and build-win/ (tools/package_check.sh); fuzzes every fuzz target briefly
# from build-fuzz/; measures the line coverage of src/ in build-cov/
# (tools/coverage.sh). Warnings are errors in every tree. Exits non-zero when
# anything fails or coverage is below 95%.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

run_suite() {
  local dir="$1"
  shift
  echo "== ${dir}: configure, build, test"
  cmake -S . -B "${dir}" -DQEV_WERROR=ON "$@"
  cmake --build "${dir}" -j "${jobs}"
  ctest --test-dir "${dir}" --output-on-failure --no-tests=error -j "${jobs}"
}

echo "== layers: includes run downward, no file in src/ over 400 lines"
bash tools/check_layers.sh

# Options are given in full: build/ may hold a cache from a build without tests.
run_suite build -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=ON -DQEV_BUILD_FUZZ=ON -DQEV_SANITIZE=OFF
# What only one compiler or optimisation level shows: GCC's Release build
# and a clang build, their tests without the benchmarks.
run_suite build-gcc-release -DCMAKE_BUILD_TYPE=Release -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=OFF \
  -DQEV_SANITIZE=OFF
run_suite build-clang -DCMAKE_CXX_COMPILER=clang++ -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=OFF \
  -DQEV_SANITIZE=OFF
run_suite build-san -DQEV_BUILD_TESTS=ON -DQEV_BUILD_BENCH=OFF -DQEV_SANITIZE=ON

echo "== build: installation, packages and manual page"
bash tools/package_check.sh build

# Fuzzing: every target linked with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang) in build-fuzz/. Each one runs its seed
# corpus, then fuzzes for 30 seconds (QEV_FUZZ_SECONDS) from a fresh corpus,
# two at a time.
# Any finding (a failed check, a sanitizer report, a leak, a timeout, running
# out of memory) fails the stage; the input that caused it is left in
# build-fuzz/findings/.
echo "== build-fuzz: configure, build, fuzz every target"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQEV_LIBFUZZER=ON -DQEV_SANITIZE=ON \
  -DQEV_BUILD_TESTS=OFF -DQEV_BUILD_BENCH=OFF -DQEV_WERROR=ON
cmake --build build-fuzz -j "${jobs}"
bash fuzz/make_corpus.sh build-fuzz/seeds "${PWD}/build-fuzz/qev"
rm -rf build-fuzz/corpus build-fuzz/findings
mkdir -p build-fuzz/findings

# Scratch files go to memory where it can be had: on disk, creating and
# deleting files takes most of command_fuzz's time.
fuzz_tmp="${TMPDIR:-/tmp}"
if [[ -d /dev/shm && -w /dev/shm ]]; then fuzz_tmp=/dev/shm; fi
fuzz_target() {
  local target="$1" dir="${PWD}/build-fuzz"
  mkdir -p "${dir}/corpus/${target}"
  if TMPDIR="${fuzz_tmp}" "${dir}/fuzz/${target}" -max_total_time="${QEV_FUZZ_SECONDS:-30}" \
    -timeout=10 -close_fd_mask=1 -artifact_prefix="${dir}/findings/${target}-" \
    "${dir}/corpus/${target}" "${dir}/seeds/${target}" >"${dir}/${target}.log" 2>&1; then
    echo "${target}: $(grep -E '^#[0-9]+[[:space:]]+DONE' "${dir}/${target}.log")"
  else
    tail -n 40 "${dir}/${target}.log"
    echo "${target}: FAILED (${dir}/${target}.log)"
    return 1
  fi
}
fuzz_failed=0
targets=()
for source in fuzz/*.cpp; do targets+=("$(basename "${source}" .cpp)"); done
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for target in "${targets[@]:i:2}"; do
    fuzz_target "${target}" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "${pid}" || fuzz_failed=1; done
done
if [[ "${fuzz_failed}" != 0 ]]; then
  echo "== build-fuzz: findings in build-fuzz/findings/" >&2
  exit 1
fi

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
  echo "== build-win: the zip package"
  bash tools/package_check.sh build-win --windows
elif [[ "${QEV_REQUIRE_WINDOWS:-0}" == 1 ]]; then
  echo "== build-win: x86_64-w64-mingw32-g++-posix or wine is missing" >&2
  exit 1
else
  echo "== build-win: skipped (no x86_64-w64-mingw32-g++-posix or no wine)"
fi

echo "== build-cov: line coverage of src/ (at least 95%)"
bash tools/coverage.sh

echo "== all tests passed in ${SECONDS} s"

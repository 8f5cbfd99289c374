#!/usr/bin/env bash
# Installs what the tests need on Debian 12 (as root, from Debian's archive,
# by package name) and runs every test with tools/run_all.sh. This is the
# README's test command, and CI's.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEBIAN_FRONTEND=noninteractive
apt-get update
# Building and testing: the compiler, CMake, GoogleTest, Google Benchmark.
apt-get install -y --no-install-recommends cmake g++ make libgtest-dev libbenchmark-dev
# The clang build and the fuzz stage: clang with its libFuzzer and
# sanitizer runtimes.
apt-get install -y --no-install-recommends clang libclang-rt-14-dev
# The Windows build: the mingw-w64 cross compiler, GoogleTest's sources and
# 64-bit wine to run what it builds.
apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix googletest wine wine64
export QEV_REQUIRE_WINDOWS=1
# The coverage stage: gcov comes with g++, gcovr reports what it counted.
apt-get install -y --no-install-recommends gcovr
# The packages: dpkg-shlibdeps (dpkg-dev) and file for the .deb, lintian
# and mandoc to check it and the manual page.
apt-get install -y --no-install-recommends dpkg-dev file lintian mandoc

bash tools/run_all.sh

#!/usr/bin/env bash
# Checks what a build directory ships. Usage:
#   tools/package_check.sh BUILD_DIR        Linux build: cmake --install, the
#       .deb and the .tar.gz (file lists, the .deb's dependencies, lintian),
#       the manual page (mandoc -T lint), and qev from the .deb, unpacked
#       into a scratch root with dpkg -x, run once
#   tools/package_check.sh BUILD_DIR --windows
#       cross build: the .zip's file list, and its qev.exe run once under wine
# Exits non-zero when anything differs from what is expected.
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "$1" && pwd)"
windows="${2:-}"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${build}/CMakeCache.txt")"
scratch="$(mktemp -d)"
trap 'rm -rf "${scratch}"' EXIT
failed=0

# Compares the sorted file list on standard input with the expected names.
expect_files() {
  local what="$1"
  shift
  if diff <(printf '%s\n' "$@" | sort) <(grep -v '/$' | sort) >"${scratch}/diff"; then
    echo "${what}: $# files as expected"
  else
    echo "${what}: files differ from the expected (< expected, > found):"
    cat "${scratch}/diff"
    failed=1
  fi
}

# Runs qev once on a real job: packs two files, lists the archive.
check_runs() {
  local what="$1"
  shift
  mkdir -p "${scratch}/job"
  printf 'one\n' >"${scratch}/job/a.txt"
  printf 'two\n' >"${scratch}/job/b.txt"
  local out
  # qev.exe ends its lines with CR LF.
  out="$(cd "${scratch}/job" && { "$@" c4 job.qev '*.txt' && "$@" l job.qev; } | tr -d '\r')"
  if grep -qx 'total: 2 files' <<<"${out}" && grep -qx 'total: 2 files   8 Bytes' <<<"${out}"; then
    echo "${what}: runs"
  else
    printf '%s\n' "${out}"
    echo "${what}: does not run as expected"
    failed=1
  fi
  rm -rf "${scratch}/job"
}

if [[ "${windows}" == --windows ]]; then
  (cd "${build}" && cpack -G ZIP >/dev/null)
  zip="${build}/qev-${version}-win64.zip"
  cmake -E tar tf "${zip}" |
    expect_files "${zip##*/}" "qev-${version}-win64/qev.exe" "qev-${version}-win64/README.md" \
      "qev-${version}-win64/LICENSE"
  (cd "${scratch}" && cmake -E tar xf "${zip}")
  check_runs "qev.exe from ${zip##*/}" wine "${scratch}/qev-${version}-win64/qev.exe"
  exit "${failed}"
fi

# cmake --install, to a scratch prefix.
cmake --install "${build}" --prefix "${scratch}/prefix" >/dev/null
(cd "${scratch}/prefix" && find . -type f) |
  expect_files "cmake --install" ./bin/qev ./share/man/man1/qev.1 ./share/doc/qev/README.md \
    ./share/doc/qev/LICENSE

# The manual page. mandoc also looks up the pages it refers to in the
# system's mandoc.db; a note that the database is missing or old is about
# the system, not the page.
lint="$(mandoc -T lint doc/qev.1 2>&1 | grep -v 'mandoc\.db' || true)"
if [[ -n "${lint}" ]]; then
  printf '%s\n' "${lint}"
  echo "doc/qev.1: mandoc -T lint finds the above"
  failed=1
else
  echo "doc/qev.1: mandoc -T lint finds nothing"
fi

(cd "${build}" && cpack -G "DEB;TGZ" >/dev/null)
deb="${build}/qev_${version}_$(dpkg --print-architecture).deb"
tgz="${build}/qev-${version}-Linux.tar.gz"
dpkg-deb -c "${deb}" | awk '{print $NF}' |
  expect_files "${deb##*/}" ./usr/bin/qev ./usr/share/man/man1/qev.1.gz \
    ./usr/share/doc/qev/README.md ./usr/share/doc/qev/copyright ./usr/share/doc/qev/changelog.gz
tar tzf "${tgz}" |
  expect_files "${tgz##*/}" "qev-${version}-Linux/bin/qev" "qev-${version}-Linux/share/man/man1/qev.1" \
    "qev-${version}-Linux/share/doc/qev/README.md" "qev-${version}-Linux/share/doc/qev/LICENSE"

# The program is linked with the C++ runtime statically: the C library is
# all that dpkg-shlibdeps finds.
depends="$(dpkg-deb -f "${deb}" Depends)"
if [[ "${depends}" =~ ^libc6\ \(\>=\ [0-9.]+\)$ ]]; then
  echo "${deb##*/}: Depends: ${depends}"
else
  echo "${deb##*/}: unexpected Depends: ${depends}"
  failed=1
fi

# Errors fail the check; warnings and notes are shown.
if lintian --fail-on error "${deb}"; then
  echo "${deb##*/}: lintian reports no error"
else
  echo "${deb##*/}: lintian reports errors"
  failed=1
fi

dpkg -x "${deb}" "${scratch}/root"
check_runs "qev from ${deb##*/}" "${scratch}/root/usr/bin/qev"
exit "${failed}"

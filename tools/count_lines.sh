#!/usr/bin/env bash
# Counts the non-blank lines of every tracked code file (C++, shell, CMake)
# in tests/ and in src/, and prints both and the share of tests/ in src/.
# Scripts under tools/ and .ci/ (running, measuring, packaging) count on
# neither side; fuzz/ and bench/ are not counted either.
#   tools/count_lines.sh [--files] [--max PERCENT]
# --files lists every counted file; --max fails when tests/ exceed PERCENT.
set -euo pipefail
cd "$(dirname "$0")/.."
files=0
max=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --files) files=1 ;;
    --max) max="$2"; shift ;;
    *) echo "usage: $0 [--files] [--max PERCENT]" >&2; exit 2 ;;
  esac
  shift
done

code_files() {
  git ls-files -- "$1" | grep -E '\.(c|cc|cpp|h|hpp|sh|cmake)$|(^|/)CMakeLists\.txt$' || true
}
non_blank() { grep -cv '^[[:space:]]*$' "$1" || true; }
total() {
  local sum=0 n
  for file in $(code_files "$1"); do
    n="$(non_blank "${file}")"
    if [[ "${files}" == 1 ]]; then printf '%6d  %s\n' "${n}" "${file}" >&2; fi
    sum=$((sum + n))
  done
  echo "${sum}"
}

src="$(total src/)"
tests="$(total tests/)"
percent="$(awk -v t="${tests}" -v s="${src}" 'BEGIN { printf "%.1f", s ? 100 * t / s : 0 }')"
echo "src/:   ${src} non-blank lines"
echo "tests/: ${tests} non-blank lines, ${percent}% of src/"
if [[ -n "${max}" ]] && awk -v p="${percent}" -v m="${max}" 'BEGIN { exit !(p > m) }'; then
  echo "tests/ are above ${max}% of src/" >&2
  exit 1
fi

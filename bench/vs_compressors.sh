#!/usr/bin/env bash
# qev's compressed archives against tar with gzip and zstd, whole commands on
# a corpus of files that Debian packages install, copied flat into one
# directory: creating (c4, z4, tar cf, tar cf | gzip -1, tar cf | zstd -3)
# and extracting (x of the z4 archive, zstd -dc | tar xf), with the sizes.
#
# Usage: bash bench/vs_compressors.sh [runs]   (default 5 runs of each command)
# Environment: QEV_BENCH_DIR=DIR keeps the corpus and the outputs under DIR.
#
# The corpus is /usr/lib/python3.11, /usr/share/cmake-3.25 and
# /usr/include/c++/12, every file under its path with / made _. Where they
# are missing: apt-get install libpython3.11-stdlib cmake-data
# libstdc++-12-dev gzip zstd (after apt-get update).
# Runs alternate (one of each command, then the next round) with inputs warm
# in the page cache and the disk synced before each run; medians are printed.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init tar gzip zstd bc
CORPUS=$WORK/corpus
copy_debian_corpus "$CORPUS"
echo "corpus: $(find "$CORPUS" -type f | wc -l) files, $(du -sb "$CORPUS" | cut -f1) bytes" >&2

# Each command runs in the corpus directory; its output goes to $WORK.
declare -A COMMANDS=(
  [c4]="'$QEV' c4 '$WORK/a.c4' '*' >/dev/null"
  [z4]="'$QEV' z4 '$WORK/a.z4' '*' >/dev/null"
  [tar]="tar cf '$WORK/a.tar' *"
  [tar+gzip-1]="tar cf - * | gzip -1 >'$WORK/a.tgz'"
  [tar+zstd-3]="tar cf - * | zstd -3 -q >'$WORK/a.tzst'"
  [x-z4]="cd '$WORK/out' && '$QEV' x ../a.z4 >/dev/null"
  [x-zstd]="cd '$WORK/out' && zstd -dc ../a.tzst | tar xf -"
)
ORDER=(c4 z4 tar tar+gzip-1 tar+zstd-3 x-z4 x-zstd)
declare -A TIMES

for ((run = 0; run < RUNS; ++run)); do
  for name in "${ORDER[@]}"; do
    # Each extraction first deletes the files of the one before, so both
    # start from the same state of the file system.
    if [[ $name == x-* ]]; then rm -rf "$WORK/out" && mkdir "$WORK/out"; fi
    sync
    start=$(date +%s.%N)
    (cd "$CORPUS" && eval "${COMMANDS[$name]}")
    end=$(date +%s.%N)
    TIMES[$name]+="$(echo "$end - $start" | bc) "
  done
done
rm -rf "$WORK/out"

printf '%-12s %10s %14s\n' command "median s" "output bytes"
for name in "${ORDER[@]}"; do
  size=""
  case $name in
    c4) size=$(stat -c %s "$WORK/a.c4") ;;
    z4) size=$(stat -c %s "$WORK/a.z4") ;;
    tar) size=$(stat -c %s "$WORK/a.tar") ;;
    tar+gzip-1) size=$(stat -c %s "$WORK/a.tgz") ;;
    tar+zstd-3) size=$(stat -c %s "$WORK/a.tzst") ;;
  esac
  printf '%-12s %10.3f %14s\n' "$name" "$(echo "${TIMES[$name]}" | tr ' ' '\n' | grep -v '^$' | median 1)" "$size"
done
ratio() { echo "scale=3; $1 / $2" | bc; }
med() { echo "${TIMES[$1]}" | tr ' ' '\n' | grep -v '^$' | median 1; }
echo "z4 time / tar+gzip-1 time: $(ratio "$(med z4)" "$(med tar+gzip-1)") (target at most 1)"
echo "z4 size / tar+gzip-1 size: $(ratio "$(stat -c %s "$WORK/a.z4")" "$(stat -c %s "$WORK/a.tgz")") (target at most 1.15)"
echo "x of z4 / zstd -dc | tar xf: $(ratio "$(med x-z4)" "$(med x-zstd)") (target at most 1)"

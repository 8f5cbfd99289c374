#!/usr/bin/env bash
# Reading the archive from a pipe against reading it as a file: x and t of
# `cat a.qev | qev CMD -` against `qev CMD a.qev`, and l, which reads the
# whole pipe where it reads only the table of a file, against
# `cat a.qev >/dev/null`, on the 1,000 files and
# the 256 MiB file of bench/vs_tar.sh, for archives of c3, c4 and z4; then
# the peak memory of x and l from a pipe on the 256 MiB file.
#
# Usage: bash bench/pipe_read.sh [runs]      (default 5 runs of every pair)
# Environment: see bench/common.sh; TMPDIR is where a scratch copy goes.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init python3 /usr/bin/time

echo "generating the data set in $WORK" >&2
python3 "$(dirname "$0")/data_sets.py" mixed "$WORK"

for set in many big; do
  OUT=$WORK/out-$set
  mkdir -p "$OUT"
  tag=$([[ $set == many ]] && echo "1,000 files" || echo "256 MiB file")
  fresh="rm -rf '$OUT/x' && mkdir '$OUT/x'"
  for c in c3 c4 z4; do
    (cd "$WORK/$set" && "$QEV" "$c" "$OUT/$c.qev" '*' >/dev/null)
    a=$OUT/$c.qev
    compare "x - ($c), $tag" "cat '$a' | '$QEV' x -" "'$QEV' x '$a'" "$fresh" 1.2 "$OUT/x"
    compare "t - ($c), $tag" "cat '$a' | '$QEV' t -" "'$QEV' t '$a'" ":" 1.2 "$OUT"
    compare "l - vs cat ($c), $tag" "cat '$a' | '$QEV' l -" "cat '$a'" ":" 1.2 "$OUT"
  done
done

OUT=$WORK/out-big
rm -rf "$OUT/x" && mkdir "$OUT/x"
xPeak=$(peak "$OUT/x" sh -c "cat '$OUT/c4.qev' | '$QEV' x -")
lPeak=$(peak "$OUT" sh -c "cat '$OUT/c4.qev' | '$QEV' l -")

echo
echo "reading from a pipe against reading the file: medians of $RUNS alternating runs, seconds"
echo
fails=0
print_comparisons 30 file
echo
echo "peak memory from a pipe, 256 MiB file (c4): x - $((xPeak / 1024)) MiB, l - $((lPeak / 1024)) MiB"
if ((fails == 0)); then echo "all targets met"; else echo "$fails target(s) missed"; fi

#!/usr/bin/env bash
# Creation into a pipe against creation into a file, and the cost of the
# progress line: c4 - and z4 - into a pipe (read by cat into /dev/null)
# against c4 and z4 into a file, on the 1,000 files and the 256 MiB file of
# vs_tar.sh; c4 of the 256 MiB file and x of 100,000 tiny files with
# QEV_PROGRESS=1 (its line going to /dev/null) against QEV_PROGRESS=0.
#
# Usage: bash bench/pipe_write.sh [runs]      (default 5 runs of every pair)
# Environment: see bench/common.sh; TMPDIR is where the pipe's scratch file
# goes (the archive's size for each run).
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init python3

echo "generating the data sets in $WORK" >&2
python3 "$(dirname "$0")/data_sets.py" mixed "$WORK"
python3 "$(dirname "$0")/data_sets.py" tiny "$WORK"

for set in many big; do
  D=$WORK/$set
  OUT=$WORK/out-$set
  mkdir -p "$OUT"
  tag=$([[ $set == many ]] && echo "1,000 files" || echo "256 MiB file")
  clean="rm -f '$OUT'/a.qev"
  for command in c4 z4; do
    # The same bytes either way.
    (cd "$D" && "$QEV" $command "$OUT/f.qev" '*' >/dev/null && "$QEV" $command - '*' 2>/dev/null |
      cmp - "$OUT/f.qev")
    compare "$command - | cat vs $command, $tag" "'$QEV' $command - '*' | cat >/dev/null" \
      "'$QEV' $command '$OUT/a.qev' '*'" "$clean" 1.2 "$D"
  done
done
D=$WORK/big
OUT=$WORK/out-big
compare "c4, progress 1 vs 0, 256 MiB" "QEV_PROGRESS=1 '$QEV' c4 '$OUT/a.qev' '*'" \
  "QEV_PROGRESS=0 '$QEV' c4 '$OUT/a.qev' '*'" "rm -f '$OUT/a.qev'" 1.05 "$D"
OUT=$WORK/out-tiny
mkdir -p "$OUT"
(cd "$WORK/tiny" && "$QEV" c4 "$OUT/t.qev" '*' >/dev/null)
fresh="rm -rf '$OUT/x' && mkdir '$OUT/x'"
compare "x, progress 1 vs 0, 100,000" "QEV_PROGRESS=1 '$QEV' x '$OUT/t.qev'" \
  "QEV_PROGRESS=0 '$QEV' x '$OUT/t.qev'" "$fresh" 1.05 "$OUT/x"

echo
echo "medians of $RUNS alternating runs each, in seconds${PIN:+; pinned to CPU $QEV_BENCH_CPU}"
echo
fails=0
print_comparisons 34 other
echo
if ((fails == 0)); then echo "all targets met"; else echo "$fails target(s) missed"; fi

#!/usr/bin/env bash
# This tree's qev against another build of qev on the same work, to show
# that a change costs no speed: c4, c3, x and l on the 1,000 files and on
# the 256 MiB file of vs_tar.sh, z4 and x of its archive on the Debian
# corpus of vs_compressors.sh. Every archive of the two must be the same,
# byte for byte.
#
# Usage: bash bench/vs_build.sh OTHER_QEV [runs]   (default 5 runs of every pair)
# Environment: see bench/common.sh.
#
# Times each pair alternately (this tree's, the other, ...) in the same
# state (creation replaces what stands at its archive path) and prints medians and the ratio this / other, against a limit of
# 1.03.
set -euo pipefail
export LC_ALL=C

OTHER=$(realpath "${1:?usage: $0 OTHER_QEV [runs]}")
RUNS=${2:-5}
source "$(dirname "$0")/common.sh"
bench_init python3

echo "generating the data sets in $WORK" >&2
python3 "$(dirname "$0")/data_sets.py" mixed "$WORK"
copy_debian_corpus "$WORK/corpus"

OUT=$WORK/out
mkdir -p "$OUT"
limit=1.03
fresh="rm -rf '$OUT/x' && mkdir '$OUT/x'"
for set in many big corpus; do
  D=$WORK/$set
  if [[ $set == corpus ]]; then
    compare "z4, corpus" "'$QEV' z4 '$OUT/n.qev' '*'" "'$OTHER' z4 '$OUT/o.qev' '*'" \
      ":" "$limit" "$D"
    cmp "$OUT/n.qev" "$OUT/o.qev"
    compare "x (z4), corpus" "'$QEV' x '$OUT/n.qev'" "'$OTHER' x '$OUT/n.qev'" "$fresh" "$limit" \
      "$OUT/x"
    continue
  fi
  for command in c4 c3; do
    compare "$command, $set" "'$QEV' $command '$OUT/n.qev' '*'" \
      "'$OTHER' $command '$OUT/o.qev' '*'" ":" "$limit" "$D"
    cmp "$OUT/n.qev" "$OUT/o.qev"
    compare "x ($command), $set" "'$QEV' x '$OUT/n.qev'" "'$OTHER' x '$OUT/n.qev'" "$fresh" \
      "$limit" "$OUT/x"
    compare "l ($command), $set" "'$QEV' l '$OUT/n.qev'" "'$OTHER' l '$OUT/n.qev'" ":" "$limit" \
      "$OUT" 20
  done
done
rm -rf "$OUT"

echo
echo "this tree's qev against $OTHER: medians of $RUNS alternating runs each,"
echo "in seconds; the limits apply to wall-clock time"
echo
fails=0
print_comparisons 20 other
echo
if ((fails == 0)); then echo "all within ${limit}x"; else echo "$fails pair(s) above ${limit}x"; fi

#!/usr/bin/env bash
# qev against tar on the same work: creating (c4, c3 against tar cf),
# extracting (x against tar xf) and listing (l against tar tf), on 1,000
# files of mixed sizes and on one 256 MiB file, plus the peak memory of c4,
# c3, x and l on the large file. On the 1,000 files, r is timed against x
# (the second column holds x there).
#
# Usage: bash bench/vs_tar.sh [runs]      (default 5 runs of every pair)
# Environment: see bench/common.sh.
#
# Builds a release qev in build-release/, generates the data set from a fixed
# seed, and times each pair alternately (qev, tar, qev, tar, ...) in the same
# state: the inputs warm in the page cache, every output removed and the disk
# synced before each run, extraction into a new empty directory each time.
# Prints medians, the ratio qev/tar and whether each target is met.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init tar python3 /usr/bin/time

# The data set: many/ holds 1,000 files of 1 KiB to 1 MiB (sizes skewed
# towards small ones, about 100 MiB in all), even ones text-like, odd ones
# random; big/ holds one 256 MiB file, text-like and random in alternate
# 1 MiB blocks.
echo "generating the data set in $WORK" >&2
python3 "$(dirname "$0")/data_sets.py" mixed "$WORK"

for set in many big; do
  D=$WORK/$set
  OUT=$WORK/out-$set
  mkdir -p "$OUT"
  # The limits of the ratio qev / tar: creating, extracting.
  if [[ $set == many ]]; then
    tag="1,000 files" limC=1.5 limX=1.5
  else
    tag="256 MiB file" limC=0.6 limX=0.8
  fi
  # qev expands the pattern itself; tar gets the same names from the shell.
  names=$(cd "$D" && printf '%q ' *)
  clean="rm -f '$OUT'/a.qev '$OUT'/a.tar"

  compare "c4 vs cf, $tag" "'$QEV' c4 '$OUT/a.qev' '*'" "tar cf '$OUT/a.tar' $names" "$clean" "$limC" "$D"
  compare "c3 vs cf, $tag" "'$QEV' c3 '$OUT/a.qev' '*'" "tar cf '$OUT/a.tar' $names" "$clean" "$limC" "$D"

  # The archives that extraction and listing read.
  (cd "$D" && "$QEV" c4 "$OUT/a4.qev" '*' >/dev/null && "$QEV" c3 "$OUT/a3.qev" '*' >/dev/null &&
    eval "tar cf '$OUT/a.tar' $names")
  fresh="rm -rf '$OUT/x' && mkdir '$OUT/x'"
  compare "x (c4) vs xf, $tag" "'$QEV' x '$OUT/a4.qev'" "tar xf '$OUT/a.tar'" "$fresh" "$limX" "$OUT/x"
  compare "x (c3) vs xf, $tag" "'$QEV' x '$OUT/a3.qev'" "tar xf '$OUT/a.tar'" "$fresh" "$limX" "$OUT/x"
  if [[ $set == many ]]; then
    # Recovery of a whole archive walks its streams and writes what x writes.
    compare "r vs x (c4), $tag" "'$QEV' r '$OUT/a4.qev'" "'$QEV' x '$OUT/a4.qev'" "$fresh" 1.1 "$OUT/x"
    compare "r vs x (c3), $tag" "'$QEV' r '$OUT/a3.qev'" "'$QEV' x '$OUT/a3.qev'" "$fresh" 1.1 "$OUT/x"
  fi
  compare "l (c4) vs tf, $tag" "'$QEV' l '$OUT/a4.qev'" "tar tf '$OUT/a.tar'" ":" 1 "$OUT" 20
  compare "l (c3) vs tf, $tag" "'$QEV' l '$OUT/a3.qev'" "tar tf '$OUT/a.tar'" ":" 1 "$OUT" 20
  rm -rf "$OUT/x"
done

OUT=$WORK/out-big
rm -f "$OUT/m.qev" "$OUT/m3.qev"
c4Peak=$(peak "$WORK/big" "$QEV" c4 "$OUT/m.qev" '*')
c3Peak=$(peak "$WORK/big" "$QEV" c3 "$OUT/m3.qev" '*')
tarPeak=$(peak "$WORK/big" tar cf "$OUT/m.tar" big.dat)
rm -rf "$OUT/x" && mkdir "$OUT/x"
xPeak=$(peak "$OUT/x" "$QEV" x "$OUT/m.qev")
rm -rf "$OUT/x" && mkdir "$OUT/x"
x3Peak=$(peak "$OUT/x" "$QEV" x "$OUT/m3.qev")
rm -rf "$OUT/x" && mkdir "$OUT/x"
xfPeak=$(peak "$OUT/x" tar xf "$OUT/m.tar")
lPeak=$(peak "$OUT" "$QEV" l "$OUT/m3.qev")
rm -rf "$OUT"
memLimit=$((8 * 1024))  # 8 MiB in KiB: members stream, and this index is tiny

manySize=$(du -sb "$WORK/many" | cut -f1)
echo
echo "qev against tar: medians of $RUNS alternating runs each, in seconds; the targets"
echo "apply to wall-clock time, processor time (user + system) is shown beside it"
echo "data: 1,000 files, $((manySize / 1048576)) MiB in all; one file of 256 MiB${PIN:+; pinned to CPU $QEV_BENCH_CPU}"
echo
fails=0
print_comparisons 26

echo
echo "peak memory, 256 MiB file (maximum resident set size), limit $((memLimit / 1024)) MiB"
for row in "qev c4:$c4Peak" "qev c3:$c3Peak" "qev x (c4):$xPeak" "qev x (c3):$x3Peak" \
  "qev l:$lPeak" "tar cf:$tarPeak" "tar xf:$xfPeak"; do
  label=${row%%:*}
  kib=${row#*:}
  result=""
  if [[ $label == qev* ]]; then
    if ((kib <= memLimit)); then result=pass; else result=FAIL; fails=$((fails + 1)); fi
  fi
  printf '%-12s %8d KiB  %6.1f MiB  %s\n' "$label" "$kib" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$result"
done
echo
if ((fails == 0)); then echo "all targets met"; else echo "$fails target(s) missed"; fi

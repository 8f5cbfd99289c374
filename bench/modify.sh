#!/usr/bin/env bash
# a and d against copying the archive: a of one 1 MiB file to a z4 archive
# of about 1 GiB, and d of one member from it, each against cp of the
# archive followed by sync of the copy (a and d flush their new archive to
# disk too), plus the peak memory of a and d.
#
# Usage: bash bench/modify.sh [runs]      (default 5 runs of every pair)
# Environment: see bench/common.sh.
#
# Builds a release qev in build-release/, generates 64 files of 16 MiB from
# a fixed seed (bench/data_sets.py: 1 MiB blocks, one in four text-like,
# the rest random), makes the z4 archive of them once, and times each pair
# alternately in the same state: a fresh copy of the archive to change,
# written out and synced before each run. Prints medians and the ratio to cp + sync, whose limit
# is 1.5.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init python3 /usr/bin/time

echo "generating the data set in $WORK" >&2
python3 "$(dirname "$0")/data_sets.py" modify "$WORK"
(cd "$WORK/data" && "$QEV" z4 "$WORK/base.qev" '*' >/dev/null)
rm -rf "$WORK/data"
size=$(stat -c %s "$WORK/base.qev")

# Each run changes a fresh copy; the copy the other side makes is removed.
fresh="cp '$WORK/base.qev' '$WORK/t.qev' && rm -f '$WORK/copy.qev'"
copy="cp '$WORK/base.qev' '$WORK/copy.qev' && sync '$WORK/copy.qev'"
compare "a of 1 MiB vs cp+sync" "'$QEV' a t.qev new/one.bin" "$copy" "$fresh" 1.5 "$WORK"
compare "d of 1 member vs cp+sync" "'$QEV' d t.qev f31.dat" "$copy" "$fresh" 1.5 "$WORK"

eval "$fresh"
aPeak=$(peak "$WORK" "$QEV" a t.qev new/one.bin)
dPeak=$(peak "$WORK" "$QEV" d t.qev f31.dat)

echo
echo "a and d against cp + sync: medians of $RUNS alternating runs each, in seconds"
echo "archive: z4, 64 members, $((size / 1048576)) MiB${PIN:+; pinned to CPU $QEV_BENCH_CPU}"
echo
fails=0
print_comparisons 26 cp+sync
echo
echo "peak memory (maximum resident set size)"
printf '%-12s %8d KiB  %6.1f MiB\n' "qev a" "$aPeak" "$(awk -v k="$aPeak" 'BEGIN { print k / 1024 }')"
printf '%-12s %8d KiB  %6.1f MiB\n' "qev d" "$dPeak" "$(awk -v k="$dPeak" 'BEGIN { print k / 1024 }')"
echo
if ((fails == 0)); then echo "all targets met"; else echo "$fails target(s) missed"; fi

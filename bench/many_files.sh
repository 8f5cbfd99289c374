#!/usr/bin/env bash
# qev against tar on many small files: creating (c4, c3 against tar cf),
# extracting (x of each format against tar xf) and listing (l against tar
# tf) on 100,000 files of 50 to 400 bytes and on a corpus of files that
# Debian installs (Python's library, CMake's modules and the C++ headers,
# copied flat into one directory); then the peak memory of every command
# on the 100,000 files and on a million empty files.
#
# Usage: bash bench/many_files.sh [runs]      (default 5 runs of every pair)
# Environment: QEV_BENCH_MILLION=0 skips the million files; see
#              bench/common.sh for the rest.
#
# Each pair runs alternately (qev, tar, qev, tar, ...) in the same state:
# inputs warm in the page cache, every output removed and the disk synced
# before each run, extraction into a new empty directory. qev expands the
# pattern * itself; tar reads the same names, in the same order, from a
# list (-T), since 100,000 names make too long a command line.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
source "$(dirname "$0")/common.sh"
bench_init tar python3 /usr/bin/time

echo "generating the data in $WORK" >&2
python3 - "$WORK" <<'EOF'
import os, random, sys

work = sys.argv[1]
rng = random.Random(20261207)
letters = "etaoinshrdlucmfwypvbgkjqxz"
vocabulary = ["".join(rng.choices(letters, k=rng.randint(1, 10))) for _ in range(4000)]
small = os.path.join(work, "small")
os.makedirs(small, exist_ok=True)
for i in range(100000):
    size = rng.randint(50, 400)
    text = " ".join(rng.choices(vocabulary, k=size // 3))[:size].ljust(size, ".")
    with open(os.path.join(small, "f%06d.txt" % i), "w") as f:
        f.write(text)

EOF
copy_debian_corpus "$WORK/corpus"

MEMORY=$WORK/memory
: >"$MEMORY"
for set in small corpus; do
  D=$WORK/$set
  OUT=$WORK/out-$set
  mkdir -p "$OUT"
  count=$(cd "$D" && ls | tee "$OUT/names" | wc -l)
  tag="$count files"
  clean="rm -f '$OUT'/a.qev '$OUT'/a.tar"
  tarc="tar cf '$OUT/a.tar' -T '$OUT/names'"

  compare "c4 vs cf, $tag" "'$QEV' c4 '$OUT/a.qev' '*'" "$tarc" "$clean" 1 "$D"
  compare "c3 vs cf, $tag" "'$QEV' c3 '$OUT/a.qev' '*'" "$tarc" "$clean" 1 "$D"

  (cd "$D" && "$QEV" c4 "$OUT/a4.qev" '*' >/dev/null && "$QEV" c3 "$OUT/a3.qev" '*' >/dev/null &&
    eval "$tarc")
  fresh="rm -rf '$OUT/x' && mkdir '$OUT/x'"
  compare "x (c4) vs xf, $tag" "'$QEV' x '$OUT/a4.qev'" "tar xf '$OUT/a.tar'" "$fresh" 1 "$OUT/x"
  compare "x (c3) vs xf, $tag" "'$QEV' x '$OUT/a3.qev'" "tar xf '$OUT/a.tar'" "$fresh" 1 "$OUT/x"
  compare "l (c4) vs tf, $tag" "'$QEV' l '$OUT/a4.qev'" "tar tf '$OUT/a.tar'" ":" 0.5 "$OUT" 5
  compare "l (c3) vs tf, $tag" "'$QEV' l '$OUT/a3.qev'" "tar tf '$OUT/a.tar'" ":" 0.5 "$OUT" 5

  if [[ $set == small ]]; then
    rm -f "$OUT/m.qev"
    printf '%s\t%s\t%s\n' "c4" "$count" "$(peak "$D" "$QEV" c4 "$OUT/m.qev" '*')" >>"$MEMORY"
    rm -f "$OUT/m.qev"
    printf '%s\t%s\t%s\n' "c3" "$count" "$(peak "$D" "$QEV" c3 "$OUT/m.qev" '*')" >>"$MEMORY"
    printf '%s\t%s\t%s\n' "l (c4)" "$count" "$(peak "$OUT" "$QEV" l a4.qev)" >>"$MEMORY"
    printf '%s\t%s\t%s\n' "l (c3)" "$count" "$(peak "$OUT" "$QEV" l a3.qev)" >>"$MEMORY"
    for f in 4 3; do
      rm -rf "$OUT/x" && mkdir "$OUT/x"
      printf '%s\t%s\t%s\n' "x (c$f)" "$count" "$(peak "$OUT/x" "$QEV" x "../a$f.qev")" >>"$MEMORY"
    done
    printf '%s\t%s\t%s\n' "tar cf" "$count" "$(peak "$D" tar cf "$OUT/m.tar" -T "$OUT/names")" >>"$MEMORY"
    rm -rf "$OUT/x" && mkdir "$OUT/x"
    printf '%s\t%s\t%s\n' "tar xf" "$count" "$(peak "$OUT/x" tar xf ../a.tar)" >>"$MEMORY"
  fi
  rm -rf "$OUT"
done

# A million empty files, in memory where /dev/shm exists: creation, listing
# and extraction of both formats.
if [[ ${QEV_BENCH_MILLION:-1} != 0 ]]; then
  M=$(mktemp -d "$( [[ -d /dev/shm ]] && echo /dev/shm || echo "$WORK")/qev-million-XXXXXX")
  echo "making a million empty files in $M" >&2
  mkdir -p "$M/in" "$M/x"
  (cd "$M/in" && python3 -c '
for i in range(1000000):
    open("e%07d" % i, "w").close()')
  for f in 4 3; do
    printf '%s\t%s\t%s\n' "c$f" 1000000 "$(peak "$M/in" "$QEV" c$f "../a$f.qev" '*')" >>"$MEMORY"
    printf '%s\t%s\t%s\n' "l (c$f)" 1000000 "$(peak "$M" "$QEV" l "a$f.qev")" >>"$MEMORY"
    printf '%s\t%s\t%s\n' "x (c$f)" 1000000 "$(peak "$M/x" "$QEV" x "../a$f.qev")" >>"$MEMORY"
    rm -rf "$M/x" && mkdir "$M/x"
  done
  rm -rf "$M"
fi

echo
echo "qev against tar: medians of $RUNS alternating runs each, in seconds; the limits"
echo "apply to wall-clock time, processor time (user + system) is shown beside it"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)${PIN:+; pinned to CPU $QEV_BENCH_CPU}"
echo
fails=0
print_comparisons 32

echo
echo "peak memory (maximum resident set size); a million entries must stay under 128 MiB"
while IFS=$'\t' read -r label entries kib; do
  result=""
  if [[ $entries == 1000000 && $label != c? ]]; then
    if ((kib < 128 * 1024)); then result=pass; else result=FAIL; fails=$((fails + 1)); fi
  fi
  printf '%-10s %8d entries %9d KiB %7.1f MiB %6.1f bytes/entry  %s\n' "$label" "$entries" "$kib" \
    "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
    "$(awk -v k="$kib" -v n="$entries" 'BEGIN { print k * 1024 / n }')" "$result"
done <"$MEMORY"
echo
if ((fails == 0)); then echo "all targets met"; else echo "$fails target(s) missed"; fi

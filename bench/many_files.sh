#!/usr/bin/env bash
# qev against tar on many small files: creating (c4, c3 against tar cf),
# extracting (x of each format against tar xf) and listing (l against tar
# tf) on 100,000 files of 50 to 400 bytes and on a corpus of files that
# Debian installs (Python's library, CMake's modules and the C++ headers,
# copied flat into one directory); then the peak memory of every command
# on the 100,000 files and on a million empty files.
#
# Usage: bash bench/many_files.sh [runs]      (default 5 runs of every pair)
# Environment: QEV_BENCH_CPU=N pins every timed command to CPU N;
#              QEV_BENCH_DIR=DIR puts the data under DIR (default: mktemp -d);
#              QEV_BENCH_MILLION=0 skips the million files.
#
# Each pair runs alternately (qev, tar, qev, tar, ...) in the same state:
# inputs warm in the page cache, every output removed and the disk synced
# before each run, extraction into a new empty directory. qev expands the
# pattern * itself; tar reads the same names, in the same order, from a
# list (-T), since 100,000 names make too long a command line.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$REPO/build-release
QEV=$BUILD/qev
PIN=()
if [[ -n ${QEV_BENCH_CPU:-} ]]; then PIN=(taskset -c "$QEV_BENCH_CPU"); fi

for tool in tar python3 /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "many_files.sh needs $tool" >&2; exit 1; }
done

echo "building release qev in $BUILD" >&2
cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQEV_BUILD_TESTS=OFF \
  -DQEV_BUILD_BENCH=OFF -DQEV_BUILD_FUZZ=OFF >/dev/null
cmake --build "$BUILD" -j2 --target qev >/dev/null

WORK=${QEV_BENCH_DIR:-$(mktemp -d)}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
cleanup() { if [[ -z ${QEV_BENCH_DIR:-} ]]; then rm -rf "$WORK"; fi; }
trap cleanup EXIT

echo "generating the data in $WORK" >&2
python3 - "$WORK" <<'EOF'
import os, random, shutil, sys

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

corpus = os.path.join(work, "corpus")
os.makedirs(corpus, exist_ok=True)
for top in ("/usr/lib/python3.11", "/usr/share/cmake-3.25", "/usr/include/c++/12"):
    for root, dirs, files in os.walk(top):
        for name in files:
            source = os.path.join(root, name)
            if not os.path.isfile(source) or os.path.islink(source):
                continue
            flat = os.path.relpath(source, os.path.dirname(top)).replace("/", "_")
            shutil.copyfile(source, os.path.join(corpus, flat))
EOF

# Seconds taken by one command line, run in directory $1 with its output
# discarded, $3 times over (default once): wall-clock time, then processor
# time (user and system), each per run.
elapsed() {
  sync
  (
    cd "$1"
    TIMEFORMAT='%3U %3S'
    local n=${3:-1}
    start=$EPOCHREALTIME
    { time for ((i = 0; i < n; i++)); do eval "${PIN[*]} $2" >/dev/null 2>&1; done; } 2>"$WORK/cpu"
    end=$EPOCHREALTIME
    read -r user sys <"$WORK/cpu"
    awk -v a="$start" -v b="$end" -v u="$user" -v s="$sys" -v n="$n" \
      'BEGIN { printf "%.5f %.4f\n", (b - a) / n, (u + s) / n }'
  )
}

median() {
  awk -v c="$1" '{ print $c }' | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

RESULTS=$WORK/results
: >"$RESULTS"

# One row: label, qev and tar commands, a preparation before each timed run
# (untimed), the limit of the ratio, the directory to run in, and how many
# runs make one timing.
compare() {
  local label=$1 qevCmd=$2 tarCmd=$3 prep=$4 limit=$5 dir=$6 repeat=${7:-1}
  local qevTimes=() tarTimes=()
  for ((r = 0; r < RUNS; r++)); do
    eval "$prep"
    qevTimes+=("$(elapsed "$dir" "$qevCmd" "$repeat")")
    eval "$prep"
    tarTimes+=("$(elapsed "$dir" "$tarCmd" "$repeat")")
  done
  local q t qc tc
  q=$(printf '%s\n' "${qevTimes[@]}" | median 1)
  t=$(printf '%s\n' "${tarTimes[@]}" | median 1)
  qc=$(printf '%s\n' "${qevTimes[@]}" | median 2)
  tc=$(printf '%s\n' "${tarTimes[@]}" | median 2)
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$label" "$q" "$t" "$limit" "$qc" "$tc" >>"$RESULTS"
}

# Peak resident memory in KiB of a command run in directory $1.
peak() {
  local dir=$1
  shift
  (cd "$dir" && "${PIN[@]}" /usr/bin/time -v "$@" 2>&1 >/dev/null) |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}

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
printf '%-32s %8s %8s %6s %6s %-6s %8s %8s %6s\n' "pair" "qev" "tar" "ratio" "limit" "result" \
  "qev cpu" "tar cpu" "ratio"
while IFS=$'\t' read -r label q t limit qc tc; do
  read -r ratio result cpuRatio < <(awk -v q="$q" -v t="$t" -v l="$limit" -v qc="$qc" -v tc="$tc" \
    'BEGIN { r = q / t; printf "%.2f %s %s\n", r, (r <= l) ? "pass" : "FAIL",
             (tc >= 0.005) ? sprintf("%.2f", qc / tc) : "-" }')
  [[ $result == pass ]] || fails=$((fails + 1))
  printf '%-32s %8.4f %8.4f %6s %5sx %-6s %8.4f %8.4f %6s\n' "$label" "$q" "$t" "$ratio" "$limit" \
    "$result" "$qc" "$tc" "$cpuRatio"
done <"$RESULTS"

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

#!/usr/bin/env bash
# qev against tar on the same work: creating (c4, c3 against tar cf),
# extracting (x against tar xf) and listing (l against tar tf), on 1,000
# files of mixed sizes and on one 256 MiB file, plus the peak memory of c4,
# c3, x and l on the large file.
#
# Usage: bash bench/vs_tar.sh [runs]      (default 5 runs of every pair)
# Environment: QEV_BENCH_CPU=N pins every timed command to CPU N;
#              QEV_BENCH_DIR=DIR puts the data set under DIR (default: mktemp).
#
# Builds a release qev in build-release/, generates the data set from a fixed
# seed, and times each pair alternately (qev, tar, qev, tar, ...) in the same
# state: the inputs warm in the page cache, every output removed and the disk
# synced before each run, extraction into a new empty directory each time.
# Prints medians, the ratio qev/tar and whether each target is met.
set -euo pipefail
export LC_ALL=C

RUNS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$REPO/build-release
QEV=$BUILD/qev
PIN=()
if [[ -n ${QEV_BENCH_CPU:-} ]]; then PIN=(taskset -c "$QEV_BENCH_CPU"); fi

for tool in tar python3 /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "vs_tar.sh needs $tool" >&2; exit 1; }
done

echo "building release qev in $BUILD" >&2
cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQEV_BUILD_TESTS=OFF \
  -DQEV_BUILD_BENCH=OFF -DQEV_BUILD_FUZZ=OFF >/dev/null
cmake --build "$BUILD" -j2 --target qev >/dev/null

WORK=${QEV_BENCH_DIR:-$(mktemp -d)}
mkdir -p "$WORK"
cleanup() { if [[ -z ${QEV_BENCH_DIR:-} ]]; then rm -rf "$WORK"; fi; }
trap cleanup EXIT

# The data set: many/ holds 1,000 files of 1 KiB to 1 MiB (sizes skewed
# towards small ones, about 100 MiB in all), even ones text-like, odd ones
# random; big/ holds one 256 MiB file, text-like and random in alternate
# 1 MiB blocks.
echo "generating the data set in $WORK" >&2
python3 - "$WORK" <<'EOF'
import os, random, sys

work = sys.argv[1]
rng = random.Random(20261206)
letters = "etaoinshrdlucmfwypvbgkjqxz"
vocabulary = ["".join(rng.choices(letters, k=rng.randint(1, 10))) for _ in range(4000)]
ends = [" "] * 12 + [", ", ". ", "\n"]

def text(size):
    out, length = [], 0
    while length < size:
        words = rng.choices(vocabulary, k=4096)
        seps = rng.choices(ends, k=4096)
        chunk = "".join(w + s for w, s in zip(words, seps))
        out.append(chunk)
        length += len(chunk)
    return "".join(out).encode()[:size]

os.makedirs(os.path.join(work, "many"), exist_ok=True)
os.makedirs(os.path.join(work, "big"), exist_ok=True)
for i in range(1000):
    size = int(1024 * 1024 ** (rng.random() ** 1.55))
    name = "f%04d.%s" % (i, "txt" if i % 2 == 0 else "bin")
    data = text(size) if i % 2 == 0 else rng.randbytes(size)
    with open(os.path.join(work, "many", name), "wb") as f:
        f.write(data)
with open(os.path.join(work, "big", "big.dat"), "wb") as f:
    block = 1 << 20
    for i in range(256):
        f.write(text(block) if i % 2 == 0 else rng.randbytes(block))
EOF

# Seconds taken by one command line, run in directory $1 with its output
# discarded, $3 times over (default once): wall-clock time, then processor
# time (user and system), each per run. The clock runs inside the subshell,
# so it covers the command alone.
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

# The median of the numbers in column $1 of the lines on standard input.
median() {
  awk -v c="$1" '{ print $c }' | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

RESULTS=$WORK/results
: >"$RESULTS"

# One row: label, qev and tar commands as shell snippets, a preparation run
# before each timed one (untimed), the limit of the ratio, the directory in
# which to run, and how many runs make one timing (listing takes a few
# milliseconds, too little to time one run alone).
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
  compare "l (c4) vs tf, $tag" "'$QEV' l '$OUT/a4.qev'" "tar tf '$OUT/a.tar'" ":" 1 "$OUT" 20
  compare "l (c3) vs tf, $tag" "'$QEV' l '$OUT/a3.qev'" "tar tf '$OUT/a.tar'" ":" 1 "$OUT" 20
  rm -rf "$OUT/x"
done

# Peak memory of the large file, in KiB, from /usr/bin/time -v.
peak() {
  local dir=$1
  shift
  (cd "$dir" && "${PIN[@]}" /usr/bin/time -v "$@" 2>&1 >/dev/null) |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}
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
printf '%-26s %8s %8s %6s %6s %-6s %8s %8s %6s\n' "pair" "qev" "tar" "ratio" "limit" "result" \
  "qev cpu" "tar cpu" "ratio"
while IFS=$'\t' read -r label q t limit qc tc; do
  read -r ratio result cpuRatio < <(awk -v q="$q" -v t="$t" -v l="$limit" -v qc="$qc" -v tc="$tc" \
    'BEGIN { r = q / t; printf "%.2f %s %s\n", r, (r <= l) ? "pass" : "FAIL",
             (tc >= 0.005) ? sprintf("%.2f", qc / tc) : "-" }')
  [[ $result == pass ]] || fails=$((fails + 1))
  printf '%-26s %8.4f %8.4f %6s %5sx %-6s %8.4f %8.4f %6s\n' "$label" "$q" "$t" "$ratio" "$limit" \
    "$result" "$qc" "$tc" "$cpuRatio"
done <"$RESULTS"

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

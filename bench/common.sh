# What the whole-command benchmarks share: a release build of qev, a work
# directory, timing, medians, alternating comparisons, peak memory, the
# corpus of Debian's files and the table of results. Sourced, not run.
#
# Environment: QEV_BENCH_CPU=N pins every timed command to CPU N;
#              QEV_BENCH_DIR=DIR puts the data under DIR (default: mktemp -d).

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$REPO/build-release
QEV=$BUILD/qev
PIN=()
if [[ -n ${QEV_BENCH_CPU:-} ]]; then PIN=(taskset -c "$QEV_BENCH_CPU"); fi

# Checks that the tools named exist, builds a release qev in $BUILD and
# makes the work directory $WORK (removed at exit unless QEV_BENCH_DIR names
# it) with an empty results file $RESULTS.
bench_init() {
  local tool
  for tool in cmake "$@"; do
    command -v "$tool" >/dev/null || { echo "$(basename "$0") needs $tool" >&2; exit 1; }
  done
  echo "building release qev in $BUILD" >&2
  cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQEV_BUILD_TESTS=OFF \
    -DQEV_BUILD_BENCH=OFF -DQEV_BUILD_FUZZ=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target qev >/dev/null
  WORK=${QEV_BENCH_DIR:-$(mktemp -d)}
  mkdir -p "$WORK"
  WORK=$(cd "$WORK" && pwd)
  trap 'if [[ -z ${QEV_BENCH_DIR:-} ]]; then rm -rf "$WORK"; fi' EXIT
  RESULTS=$WORK/results
  : >"$RESULTS"
}

# Copies Python's library, CMake's modules and the C++ headers that Debian
# installs flat into directory $1, every file under its path with / made _
# (apt-get install libpython3.11-stdlib cmake-data libstdc++-12-dev where
# they are missing). Kept when $1 exists already.
copy_debian_corpus() {
  local corpus=$1 dir file name
  [[ -d $corpus ]] && return
  mkdir -p "$corpus"
  for dir in /usr/lib/python3.11 /usr/share/cmake-3.25 /usr/include/c++/12; do
    [[ -d $dir ]] || { echo "missing $dir" >&2; exit 1; }
    find "$dir" -type f -print0 | while IFS= read -r -d '' file; do
      name=${file#/usr/}
      cp "$file" "$corpus/${name//\//_}"
    done
  done
}

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

# One row of $RESULTS: label, qev and tar commands as shell snippets, a
# preparation run before each timed one (untimed), the limit of the ratio,
# the directory in which to run, and how many runs make one timing (listing
# takes a few milliseconds, too little to time one run alone). The two
# commands run alternately, $RUNS times each.
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

# Prints $RESULTS as a table whose first column is $1 wide, each ratio
# against its limit; adds the rows that miss their limit to $fails. $2
# names the second command of each pair (default tar).
print_comparisons() {
  local width=$1 other=${2:-tar} label q t limit qc tc ratio result cpuRatio
  printf "%-${width}s %8s %8s %6s %6s %-6s %8s %8s %6s\n" "pair" "qev" "$other" "ratio" "limit" \
    "result" "qev cpu" "$other cpu" "ratio"
  while IFS=$'\t' read -r label q t limit qc tc; do
    read -r ratio result cpuRatio < <(awk -v q="$q" -v t="$t" -v l="$limit" -v qc="$qc" -v tc="$tc" \
      'BEGIN { r = q / t; printf "%.2f %s %s\n", r, (r <= l) ? "pass" : "FAIL",
               (tc >= 0.005) ? sprintf("%.2f", qc / tc) : "-" }')
    [[ $result == pass ]] || fails=$((fails + 1))
    printf "%-${width}s %8.4f %8.4f %6s %5sx %-6s %8.4f %8.4f %6s\n" "$label" "$q" "$t" "$ratio" \
      "$limit" "$result" "$qc" "$tc" "$cpuRatio"
  done <"$RESULTS"
}

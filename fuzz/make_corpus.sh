#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into OUT_DIR/<target>/:
# archives that qev itself creates from a few small files, for the index
# readers and the whole commands; those files as plain data for the round
# trip; and qev's own member streams plus a few streams with references for
# the decoder.
#   fuzz/make_corpus.sh OUT_DIR QEV_COMMAND...
# QEV_COMMAND runs qev, with absolute paths (e.g. /abs/build/qev, or
# wine /abs/build-win/qev.exe).
set -euo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: $0 OUT_DIR QEV_COMMAND..." >&2
  exit 2
fi
out="$1"
shift
qev=("$@")

rm -rf "${out}"
mkdir -p "${out}"/{lzss_decode_fuzz,lzss_stream_fuzz,lzss_roundtrip_fuzz,lzss_compress_fuzz,index_fuzz,command_fuzz}
out="$(cd "${out}" && pwd)"
files="${out}/files"
mkdir "${files}"
cd "${files}"

# Bytes given as hexadecimal pairs: hex "61 00" writes a and NUL.
hex() {
  local format=""
  for byte in $1; do format+="\\x${byte}"; done
  printf "${format}"
}

: >empty.txt
printf 'hello world' >hello.txt
for i in 1 2 3 4 5 6; do printf 'line %d: the quick brown fox jumps over the lazy dog\n' "$i"; done >text.txt
for i in $(seq 1 80); do printf 'line %d: the quick brown fox jumps over the lazy dog\n' "$i"; done >big.txt
hex "$(printf '%02x ' $(seq 0 255))" >bytes.bin
head -c 64 /dev/zero >zeros.bin
long="$(printf 'n%.0s' $(seq 1 251)).txt"  # the longest name a member can have
printf 'long' >"${long}"
touch -d '2001-02-03 04:05:06 UTC' ./*

archive() {  # NAME FILES...: NAME.q3 and NAME.q4 made by qev
  local name="$1"
  shift
  "${qev[@]}" c3 "${out}/index_fuzz/${name}.q3" "$@" >/dev/null
  "${qev[@]}" c4 "${out}/index_fuzz/${name}.q4" "$@" >/dev/null
}
archive none 'nothing*'
archive empty empty.txt
archive hello hello.txt
archive long "${long}"
archive twice hello.txt hello.txt
archive mixed hello.txt text.txt bytes.bin zeros.bin empty.txt
# A format-4 table of one entry whose zeros come from a reference into the
# window's initial zeros.
hex "51 45 56 34 01 00 00 00 12 00 00 00 0E 00 00 00 00 00 B0 C0 22 00 32 40 00 00" \
  >"${out}/index_fuzz/reference_table.q4"
cp "${out}"/index_fuzz/* "${out}/command_fuzz/"
# Damaged archives for the whole commands: every cut of three small ones,
# and copies of larger ones with one to three bytes changed at places that a
# fixed seed picks (perl: one process for all, where a shell would start
# hundreds).
perl -e '
  my ($from, $to) = @ARGV;
  srand 16;
  sub slurp { local $/; open my $f, "<:raw", "$from/$_[0]" or die; return <$f>; }
  sub spew { open my $f, ">:raw", "$to/$_[0]" or die; print $f $_[1]; }
  for my $name (qw(twice.q3 twice.q4 reference_table.q4)) {
    my $bytes = slurp($name);
    spew("$name.cut$_", substr($bytes, 0, $_)) for 0 .. length($bytes) - 1;
  }
  for my $name (qw(hello.q3 hello.q4 mixed.q3 mixed.q4)) {
    my $bytes = slurp($name);
    for my $k (0 .. 39) {
      my $damaged = $bytes;
      substr($damaged, int(rand(length $damaged)), 1) = chr(int(rand(256))) for 0 .. int(rand(3));
      spew("$name.damaged$k", $damaged);
    }
  }
' "${out}/index_fuzz" "${out}/command_fuzz"

for file in *; do
  cp "${file}" "${out}/lzss_roundtrip_fuzz/${file:0:40}"
  cp "${file}" "${out}/lzss_compress_fuzz/${file:0:40}"
  # A one-member format-4 archive holds the member's stream from offset 16.
  "${qev[@]}" c4 ../stream.q4 "${file}" >/dev/null
  tail -c +17 ../stream.q4 >"${out}/lzss_decode_fuzz/${file:0:40}.lzss"
done
rm ../stream.q4
# Streams with references (in stream order): ab, then 1:2 (overlapping);
# 100:0 before any literal; xxx, then 8191:15 (across the window's end) and
# 1:15; a, then six 1:15 repeating it, a literal FF, then 2:7.
hex "B0 D8 80 01 20 00 00" >"${out}/lzss_decode_fuzz/overlap.lzss"
hex "01 90 00 00" >"${out}/lzss_decode_fuzz/zeros.lzss"
hex "BC 5E 2F 0F FF F8 00 3E 00 00" >"${out}/lzss_decode_fuzz/wrap.lzss"
hex "B0 80 03 E0 00 F8 00 3E 00 0F 80 03 E0 00 FF FC 00 27 00 00" >"${out}/lzss_decode_fuzz/runs.lzss"
# Past a whole window: abcdefgh, then 500 times 1:15 (9000 bytes), then 60
# times ijklmnop, 4000:15, 8191:15, 9:0 and 8000:7.
{
  hex "B0 D8 AC 76 4B 2D 9A CF 68"
  for ((i = 0; i < 125; ++i)); do hex "00 07 C0 01 F0 00 7C 00 1F"; done
  for ((i = 0; i < 60; ++i)); do hex "B4 DA AD 76 CB 6D BA DF 70 3E 83 DF FF F0 02 41 F4 07"; done
  hex "00 00"
} >"${out}/lzss_decode_fuzz/window.lzss"

# The same streams in pieces of 1, 17 and 255 bytes, then in pieces of 0
# (or 1) and 9 bytes with output rooms of 1 and 4 bytes.
for seed in "${out}"/lzss_decode_fuzz/*; do
  { hex "03 01 11 FF"; cat "${seed}"; } >"${out}/lzss_stream_fuzz/pieces-${seed##*/}"
  { hex "02 00 09"; cat "${seed}"; } >"${out}/lzss_stream_fuzz/rooms-${seed##*/}"
done

cd "${out}"
rm -r "${files}"

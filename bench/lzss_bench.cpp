// Throughput of the LZSS codec on 16 MiB of mixed data, with memcpy of the
// same buffer as the yardstick. The bit-at-a-time codec runs beside the
// fast one so that the gain is visible.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "coding/bit_stream.h"
#include "coding/lzss.h"
#include "coding/lzss_compress.h"
#include "coding/lzss_stream.h"
#include "support/lzss_reference.h"

namespace {

using qev::ByteBuffer;
using qev::lzss::kLengthBits;
using qev::lzss::kMaxMatch;
using qev::lzss::kMinMatch;
using qev::lzss::kPositionBits;
using qev::lzss::kWindowMask;
using qev::lzss::kWindowSize;

constexpr std::size_t kDataSize = 16u << 20;

// Half random bytes, half text-like: words from a small vocabulary with
// spaces, punctuation and line breaks.
const ByteBuffer& MixedData() {
  static const ByteBuffer data = [] {
    std::mt19937 rng(12345);
    ByteBuffer bytes;
    bytes.reserve(kDataSize);
    while (bytes.size() < kDataSize / 2) bytes.push_back(static_cast<std::uint8_t>(rng()));
    static const char* const kWords[] = {
        "the",   "archive", "member",  "window", "stream", "of",     "and",   "a",
        "table", "offset",  "Header",  "file",   "name",   "bytes",  "to",    "is",
        "count", "time",    "literal", "in",     "which",  "format", "reads", "writes"};
    while (bytes.size() < kDataSize) {
      const std::string word = kWords[rng() % std::size(kWords)];
      bytes.insert(bytes.end(), word.begin(), word.end());
      const unsigned r = rng() % 16;
      bytes.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
    }
    bytes.resize(kDataSize);
    return bytes;
  }();
  return data;
}

// A stream that decodes to kDataSize bytes, three tokens in four being
// references: half close behind the write position (often overlapping),
// half anywhere in the window.
const ByteBuffer& ReferenceStream() {
  static const ByteBuffer stream = [] {
    std::mt19937 rng(54321);
    ByteBuffer bytes;
    qev::BitWriter writer;
    writer.Reset(bytes);
    std::size_t produced = 0;
    while (produced + kMaxMatch <= kDataSize) {
      const unsigned kind = rng() % 4;
      if (kind == 0) {
        writer.WriteBits(1, 1);
        writer.WriteBits(8, rng());
        ++produced;
        continue;
      }
      std::uint32_t p = kind == 1 ? static_cast<std::uint32_t>(produced + 1 - 1 - rng() % 32)
                                  : static_cast<std::uint32_t>(rng());
      p &= kWindowMask;
      if (p == 0) p = 1;
      const std::uint32_t length = rng() % 16;
      writer.WriteBits(1, 0);
      writer.WriteBits(kPositionBits, p);
      writer.WriteBits(kLengthBits, length);
      produced += length + kMinMatch;
    }
    while (produced < kDataSize) {
      writer.WriteBits(1, 1);
      writer.WriteBits(8, 0x20);
      ++produced;
    }
    writer.WriteBits(qev::lzss::kEndMarkerBits, 0);
    return bytes;
  }();
  return stream;
}

// The stream a simple greedy matcher makes of MixedData(): at each byte the
// most recent earlier occurrence of its next three bytes, if one lies within
// the window, is taken as far as it matches (at most 18 bytes); otherwise a
// literal. The random half comes out as literals, the text-like half mostly
// as references.
const ByteBuffer& GreedyStream() {
  static const ByteBuffer stream = [] {
    const ByteBuffer& data = MixedData();
    const std::size_t size = data.size();
    constexpr std::size_t kNone = ~std::size_t{0};
    std::vector<std::size_t> latest(1 << 16, kNone);
    const auto slot = [&](std::size_t i) {
      const std::uint32_t key = data[i] | data[i + 1] << 8 | data[i + 2] << 16;
      return (key * 2654435761u) >> 16;
    };
    ByteBuffer bytes;
    qev::BitWriter writer;
    writer.Reset(bytes);
    std::size_t i = 0;
    while (i < size) {
      std::size_t length = 0;
      std::size_t distance = 0;
      if (i + 3 <= size) {
        const std::size_t candidate = latest[slot(i)];
        latest[slot(i)] = i;
        if (candidate != kNone && i - candidate <= kWindowSize) {
          distance = i - candidate;
          const std::size_t most = std::min<std::size_t>(kMaxMatch, size - i);
          while (length < most && data[i + length] == data[i + length - distance]) ++length;
        }
      }
      // Output byte i sits at window position (i + 1) mod 8192.
      const std::uint32_t position = static_cast<std::uint32_t>(i + 1 - distance) & kWindowMask;
      if (length < kMinMatch || position == 0) {
        writer.WriteBits(1, 1);
        writer.WriteBits(8, data[i]);
        ++i;
        continue;
      }
      writer.WriteBits(1, 0);
      writer.WriteBits(kPositionBits, position);
      writer.WriteBits(kLengthBits, static_cast<std::uint32_t>(length - kMinMatch));
      for (const std::size_t end = i + length; ++i < end;) {
        if (i + 3 <= size) latest[slot(i)] = i;
      }
    }
    writer.WriteBits(qev::lzss::kEndMarkerBits, 0);
    ByteBuffer check;
    qev::LzssDecodeReference(bytes, check);
    if (check != data) std::abort();
    return bytes;
  }();
  return stream;
}

const ByteBuffer& LiteralStream() {
  static const ByteBuffer stream = [] {
    ByteBuffer bytes;
    qev::LzssStore(MixedData(), bytes);
    return bytes;
  }();
  return stream;
}

// kDataSize bytes of files that Debian installs: every file under the
// directories that QEV_BENCH_CORPUS lists (separated by ':'; by default the
// C++ library headers, the cmake modules and the Python library), whole, in
// the order of their paths, cut at kDataSize. The text-like half of
// MixedData() stands in where none of them exists.
const ByteBuffer& CorpusData() {
  static const ByteBuffer data = [] {
    namespace fs = std::filesystem;
    const char* given = std::getenv("QEV_BENCH_CORPUS");
    std::string dirs =
        given != nullptr ? given : "/usr/include/c++/12:/usr/share/cmake-3.25:/usr/lib/python3.11";
    std::vector<fs::path> files;
    for (std::size_t at = 0; at <= dirs.size();) {
      const std::size_t end = std::min(dirs.find(':', at), dirs.size());
      const fs::path dir = dirs.substr(at, end - at);
      std::error_code error;
      if (fs::is_directory(dir, error)) {
        for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
          if (entry.is_regular_file(error)) files.push_back(entry.path());
        }
      }
      at = end + 1;
    }
    std::sort(files.begin(), files.end());
    ByteBuffer bytes;
    for (const fs::path& file : files) {
      if (bytes.size() >= kDataSize) break;
      std::ifstream in(file, std::ios::binary);
      bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in),
                   std::istreambuf_iterator<char>());
    }
    if (bytes.size() < kDataSize) {
      const ByteBuffer& mixed = MixedData();
      while (bytes.size() < kDataSize) {
        bytes.insert(bytes.end(), mixed.begin() + kDataSize / 2, mixed.end());
      }
    }
    bytes.resize(kDataSize);
    return bytes;
  }();
  return data;
}

// The compressor's own stream of the corpus.
const ByteBuffer& CompressedStream() {
  static const ByteBuffer stream = [] {
    ByteBuffer bytes;
    qev::LzssCompress(CorpusData(), bytes);
    return bytes;
  }();
  return stream;
}

// Input bytes per second; the counter `ratio` is the stream's share of the
// input.
void BM_Compress(benchmark::State& state) {
  const ByteBuffer& input = CorpusData();
  ByteBuffer output;
  for (auto _ : state) benchmark::DoNotOptimize(qev::LzssCompress(input, output));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
  state.counters["ratio"] = static_cast<double>(output.size()) / static_cast<double>(input.size());
}

void BM_Memcpy(benchmark::State& state) {
  const ByteBuffer& input = MixedData();
  ByteBuffer output(input.size());
  for (auto _ : state) {
    std::memcpy(output.data(), input.data(), input.size());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

template <std::uint32_t (*Store)(const ByteBuffer&, ByteBuffer&)>
void BM_Store(benchmark::State& state) {
  const ByteBuffer& input = MixedData();
  ByteBuffer output;
  output.reserve(input.size() / 8 * 9 + 16);
  for (auto _ : state) benchmark::DoNotOptimize(Store(input, output));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

// Output bytes per second; the output is reserved to its size beforehand, as
// extraction does with a member's stored size.
template <std::uint32_t (*Decode)(const ByteBuffer&, ByteBuffer&), const ByteBuffer& (*Stream)()>
void BM_Decode(benchmark::State& state) {
  const ByteBuffer& input = Stream();
  ByteBuffer output;
  output.reserve(kDataSize);
  for (auto _ : state) benchmark::DoNotOptimize(Decode(input, output));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output.size()));
}

// The same through LzssDecoder as extraction runs it: the stream in pieces
// of 256 KiB, each piece of output copied on (where extraction writes it).
template <const ByteBuffer& (*Stream)()>
void BM_DecodeInPieces(benchmark::State& state) {
  const ByteBuffer& input = Stream();
  ByteBuffer output(kDataSize + qev::LzssDecoder::kMaxOutput);
  qev::LzssDecoder decoder;
  std::size_t produced = 0;
  for (auto _ : state) {
    decoder.Reset();
    produced = 0;
    for (std::size_t at = 0; !decoder.Ended();) {
      const std::size_t piece = std::min<std::size_t>(256 * 1024, input.size() - at);
      at += decoder.Decode(input.data() + at, piece, at + piece == input.size());
      std::memcpy(output.data() + produced, decoder.Output(), decoder.OutputSize());
      produced += decoder.OutputSize();
    }
    benchmark::DoNotOptimize(decoder.Checksum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * produced));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store<qev::LzssStoreReference>)
    ->Name("LzssStore/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store<qev::LzssStore>)->Name("LzssStore/fast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecodeReference, LiteralStream>)
    ->Name("LzssDecode/literals/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecode, LiteralStream>)
    ->Name("LzssDecode/literals/fast")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeInPieces<LiteralStream>)
    ->Name("LzssDecode/literals/pieces")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecodeReference, ReferenceStream>)
    ->Name("LzssDecode/references/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecode, ReferenceStream>)
    ->Name("LzssDecode/references/fast")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeInPieces<ReferenceStream>)
    ->Name("LzssDecode/references/pieces")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecodeReference, GreedyStream>)
    ->Name("LzssDecode/greedy/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecode, GreedyStream>)
    ->Name("LzssDecode/greedy/fast")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeInPieces<GreedyStream>)
    ->Name("LzssDecode/greedy/pieces")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress)->Name("LzssCompress/corpus")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecodeReference, CompressedStream>)
    ->Name("LzssDecode/compressed/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<qev::LzssDecode, CompressedStream>)
    ->Name("LzssDecode/compressed/fast")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeInPieces<CompressedStream>)
    ->Name("LzssDecode/compressed/pieces")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Archives put together member by member, so that the tests can build
// streams and indexes that qev's creation never writes: back-references,
// forged offsets and checksums, unsafe names.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "coding/bit_stream.h"
#include "coding/lzss.h"
#include "formats/format3.h"
#include "formats/format4.h"

namespace qev::e2e {

inline std::string Text(const ByteBuffer& bytes) { return {bytes.begin(), bytes.end()}; }

inline std::uint32_t ByteSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (const char c : bytes) sum += static_cast<unsigned char>(c);
  return sum;
}

inline std::string LiteralStream(const std::string& plain) {
  ByteBuffer stream;
  LzssStore(ByteBuffer(plain.begin(), plain.end()), stream);
  return Text(stream);
}

inline std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

inline constexpr std::uint32_t kAuto = 0xFFFFFFFF;

struct Member {
  std::string name;
  std::string stream;  // stored bytes, placed back to back
  std::uint32_t size = 0;
  std::uint64_t time = 0;          // format 3 only
  std::uint32_t checksum = kAuto;  // format 3 only; kAuto: the stream's byte sum
  std::uint32_t offset = kAuto;    // kAuto: where the stream lies
};

inline Member Stored(const std::string& name, const std::string& content, std::uint64_t time = 0) {
  return {name, LiteralStream(content), static_cast<std::uint32_t>(content.size()), time};
}

// Lays the streams out from headerSize on and fills in the index entries.
template <class Entry>
std::string PlaceStreams(const std::vector<Member>& members, std::uint32_t headerSize,
                         std::vector<Entry>& entries) {
  std::string streams;
  for (const Member& m : members) {
    Entry& e = entries.emplace_back();
    std::memcpy(e.name, m.name.c_str(), m.name.size() + 1);
    e.offset =
        m.offset == kAuto ? headerSize + static_cast<std::uint32_t>(streams.size()) : m.offset;
    e.size = m.size;
    if constexpr (std::is_same_v<Entry, Format3Entry>) {
      e.writeTime = {static_cast<std::uint32_t>(m.time), static_cast<std::uint32_t>(m.time >> 32)};
      e.checksum = m.checksum == kAuto ? ByteSum(m.stream) : m.checksum;
    }
    streams += m.stream;
  }
  return streams;
}

inline std::string Format3Archive(const std::vector<Member>& members) {
  std::vector<Format3Entry> entries;
  const std::string streams = PlaceStreams(members, 13, entries);
  ByteBuffer header;
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(header);
  EncodeFormat3Header(static_cast<std::uint32_t>(members.size()),
                      static_cast<std::uint32_t>(13 + streams.size()), writer);
  header.resize(13);
  writer.Reset(table);
  EncodeFormat3Table(entries, writer);
  return Text(header) + streams + Text(table);
}

inline std::string Format4Archive(const std::vector<Member>& members) {
  std::vector<Format4Entry> entries;
  const std::string streams = PlaceStreams(members, 16, entries);
  ByteBuffer plain;
  BuildFormat4Table(entries, plain);
  return "QEV4" + Le32(static_cast<std::uint32_t>(members.size())) +
         Le32(static_cast<std::uint32_t>(16 + streams.size())) +
         Le32(static_cast<std::uint32_t>(plain.size())) + streams + LiteralStream(Text(plain));
}

// The lines with which x and l open a recognised archive.
inline std::string OpenLines(const std::string& command, const std::string& path, int format,
                             std::size_t count) {
  return "command: " + command + " , file: " + path + "\nopen... " + path + " is QEV" +
         std::to_string(format) + " file.\nfile count: " + std::to_string(count) + "\n";
}

}  // namespace qev::e2e

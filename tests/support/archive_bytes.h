// Streams and archives by the formats' rules alone, apart from src/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/lzss_reference.h"

namespace qev::test {

// Appends bits, most significant first; a partial last byte is zero-padded.
struct Bits {
  std::string bytes;
  int free = 0;                            // unused bits of the last byte
  Bits& Put(int n, std::uint64_t value) {  // the low n bits of value
    for (; n > 0; --n, --free) {
      if (free == 0) bytes += '\0', free = 8;
      if (value >> (n - 1) & 1) bytes.back() = static_cast<char>(bytes.back() | 1 << (free - 1));
    }
    return *this;
  }
  // A packed int: the narrowest class c in 2 bits, then value in 8c + 8 bits.
  Bits& Packed(std::uint32_t value) {
    const int c = value > 0xFFFFFF ? 3 : value > 0xFFFF ? 2 : value > 0xFF ? 1 : 0;
    return Put(2, c).Put(8 * c + 8, value);
  }
};

// Reads bits, most significant first; past the end, zero bits.
struct BitReader {
  std::string_view bytes;
  std::size_t bit = 0;  // bits read
  std::uint32_t Get(int n) {
    std::uint32_t value = 0;
    for (; n > 0; --n, ++bit) {
      const int byte = bit / 8 < bytes.size() ? static_cast<unsigned char>(bytes[bit / 8]) : 0;
      value = value << 1 | (byte >> (7 - bit % 8) & 1);
    }
    return value;
  }
  std::uint32_t Packed() { return Get(8 * Get(2) + 8); }
};

inline std::string Le32(std::uint32_t v) {
  return {char(v & 255), char(v >> 8 & 255), char(v >> 16 & 255), char(v >> 24)};
}
inline std::uint32_t Le32At(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return v;
}

// plain as literals (flag 1, 8 bits), then the end marker (14 zero bits).
inline std::string LiteralStream(const std::string& plain) {
  Bits bits;
  for (const char c : plain) bits.Put(9, 0x100 | static_cast<unsigned char>(c));
  return bits.Put(14, 0).bytes;
}

// Format 3: "QEV3", count and tableOffset packed, zeros to 13 bytes.
inline std::string Header3(std::uint32_t count, std::uint32_t tableOffset) {
  return ("QEV3" + Bits().Packed(count).Packed(tableOffset).bytes).append(13, '\0').substr(0, 13);
}
// Format 4: "QEV4", count, tableOffset and the plain table's length as LE32.
inline std::string Header4(std::uint32_t count, std::uint32_t tableOffset, std::uint32_t length) {
  return "QEV4" + Le32(count) + Le32(tableOffset) + Le32(length);
}
// An entry of the format-4 table before the table is stored.
inline std::string Plain4(const std::string& name, std::uint32_t offset, std::uint32_t size,
                          std::uint32_t reserved = 0) {
  return name + '\0' + Le32(offset) + Le32(size) + Le32(reserved);
}

// A member as an archive holds it, also as creation never writes it.
inline constexpr std::uint32_t kAuto = 0xFFFFFFFF;
struct Member {
  std::string name;
  std::string stream;  // the stored bytes; streams lie back to back
  std::uint32_t size = 0;
  std::uint64_t time = 0;          // format 3 only: 100 ns units since 1601
  std::uint32_t checksum = kAuto;  // format 3 only; kAuto: the stream's byte sum
  std::uint32_t offset = kAuto;    // kAuto: where the stream lies
  std::uint32_t reserved = 0;      // format 4 only
  bool operator==(const Member&) const = default;
};
// content as qev stores a member.
inline Member Stored(const std::string& name, const std::string& content, std::uint64_t time = 0) {
  return {name, LiteralStream(content), static_cast<std::uint32_t>(content.size()), time};
}

// The header, the streams, then format 3's packed entries or format 4's table.
inline std::string Archive(int format, const std::vector<Member>& members) {
  const std::uint32_t start = format == 3 ? 13 : 16;
  std::string streams, plain;
  Bits table;
  for (const Member& m : members) {
    const std::uint32_t offset =
        m.offset != kAuto ? m.offset : start + std::uint32_t(streams.size());
    std::uint32_t sum = 0;
    for (const char c : m.stream) sum += static_cast<unsigned char>(c);
    table.Packed(std::uint32_t(m.time >> 32)).Packed(std::uint32_t(m.time));
    table.Packed(m.checksum != kAuto ? m.checksum : sum).Packed(offset).Packed(m.size);
    for (const char c : m.name + '\0') table.Put(8, static_cast<unsigned char>(c));
    plain += Plain4(m.name, offset, m.size, m.reserved);
    streams += m.stream;
  }
  const auto count = static_cast<std::uint32_t>(members.size());
  const auto tableOffset = start + static_cast<std::uint32_t>(streams.size());
  return format == 3 ? Header3(count, tableOffset) + streams + table.bytes
                     : Header4(count, tableOffset, std::uint32_t(plain.size())) + streams +
                           LiteralStream(plain);
}

// An archive read back, each stream up to the next; format 0: neither magic.
struct Parsed {
  int format = 0;
  std::uint32_t tableOffset = 0, tableLength = 0, headerLength = 0;  // format 4's plain table
  std::vector<Member> members;
};
inline Parsed Parse(const std::string& archive) {
  Parsed p;
  p.format = archive.starts_with("QEV3") ? 3 : archive.starts_with("QEV4") ? 4 : 0;
  if (p.format == 3) {
    BitReader header{std::string_view(archive).substr(4, 9)};
    const std::uint32_t count = header.Packed();
    p.tableOffset = header.Packed();
    BitReader table{archive, 8 * std::size_t{p.tableOffset}};
    for (std::uint32_t i = 0; i < count; ++i) {
      Member& m = p.members.emplace_back();
      m.time = std::uint64_t{table.Packed()} << 32;
      m.time |= table.Packed();
      m.checksum = table.Packed(), m.offset = table.Packed(), m.size = table.Packed();
      while (const char c = static_cast<char>(table.Get(8))) m.name += c;
    }
  } else if (p.format == 4) {
    p.tableOffset = Le32At(archive, 8), p.headerLength = Le32At(archive, 12);
    std::vector<std::uint8_t> plain;
    LzssDecodeReference({archive.begin() + p.tableOffset, archive.end()}, plain);
    const std::string table(plain.begin(), plain.end());
    p.tableLength = static_cast<std::uint32_t>(table.size());
    for (std::size_t i = 0, at = 0; i < Le32At(archive, 4); ++i, at += 12) {
      Member& m = p.members.emplace_back();
      m.name = table.c_str() + at;
      at += m.name.size() + 1;
      m.offset = Le32At(table, at), m.size = Le32At(table, at + 4), m.checksum = 0;
      m.reserved = Le32At(table, at + 8);
    }
  }
  for (std::size_t i = 0; i < p.members.size(); ++i) {
    const std::uint32_t end = i + 1 < p.members.size() ? p.members[i + 1].offset : p.tableOffset;
    p.members[i].stream = archive.substr(p.members[i].offset, end - p.members[i].offset);
  }
  return p;
}

}  // namespace qev::test

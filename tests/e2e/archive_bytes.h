// Archives laid out byte by byte from the formats' rules, written apart
// from qev's own encoders so that the tests can check qev against them and
// can build streams and indexes that qev never writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qev::e2e {

// Bits appended most significant first; the last byte is filled with zeros.
class BitString {
 public:
  void Put(int n, std::uint32_t value) {
    for (int i = n - 1; i >= 0; --i) {
      if (free_ == 0) {
        bytes_.push_back('\0');
        free_ = 8;
      }
      --free_;
      if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << free_));
    }
  }
  // A 2-bit class, then the value in 8, 16, 24 or 32 bits.
  void PutPacked(std::uint32_t value) {
    const int cls = value <= 0xFF ? 0 : value <= 0xFFFF ? 1 : value <= 0xFFFFFF ? 2 : 3;
    Put(2, static_cast<std::uint32_t>(cls));
    Put(8 * cls + 8, value);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int free_ = 0;
};

inline std::uint32_t ByteSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (const char c : bytes) sum += static_cast<unsigned char>(c);
  return sum;
}

// The stream of literals that a plain writer produces, end marker included.
inline std::string LiteralStream(const std::string& plain) {
  BitString bits;
  for (const char c : plain) {
    bits.Put(1, 1);
    bits.Put(8, static_cast<unsigned char>(c));
  }
  bits.Put(14, 0);
  return bits.Bytes();
}

inline std::string Le32(std::uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
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

// Lays out the streams from headerSize on and fills in the automatic
// offsets; returns the stream bytes.
inline std::string PlaceStreams(std::vector<Member>& members, std::uint32_t headerSize) {
  std::string streams;
  for (Member& m : members) {
    if (m.offset == kAuto) m.offset = headerSize + static_cast<std::uint32_t>(streams.size());
    streams += m.stream;
  }
  return streams;
}

inline std::string Format3Archive(std::vector<Member> members) {
  const std::string streams = PlaceStreams(members, 13);
  const auto tableOffset = static_cast<std::uint32_t>(13 + streams.size());
  BitString header;
  for (const char c : std::string("QEV3")) header.Put(8, static_cast<unsigned char>(c));
  header.PutPacked(static_cast<std::uint32_t>(members.size()));
  header.PutPacked(tableOffset);
  BitString table;
  for (const Member& m : members) {
    table.PutPacked(static_cast<std::uint32_t>(m.time >> 32));
    table.PutPacked(static_cast<std::uint32_t>(m.time));
    table.PutPacked(m.checksum == kAuto ? ByteSum(m.stream) : m.checksum);
    table.PutPacked(m.offset);
    table.PutPacked(m.size);
    for (const char c : m.name + '\0') table.Put(8, static_cast<unsigned char>(c));
  }
  std::string area = header.Bytes();
  area.resize(13, '\0');
  return area + streams + table.Bytes();
}

inline std::string Format4Archive(std::vector<Member> members) {
  const std::string streams = PlaceStreams(members, 16);
  std::string plain;
  for (const Member& m : members) {
    plain += m.name + '\0' + Le32(m.offset) + Le32(m.size) + Le32(0);
  }
  return "QEV4" + Le32(static_cast<std::uint32_t>(members.size())) +
         Le32(static_cast<std::uint32_t>(16 + streams.size())) +
         Le32(static_cast<std::uint32_t>(plain.size())) + streams + LiteralStream(plain);
}

// A member stored as literals, as qev stores it.
inline Member Stored(const std::string& name, const std::string& content, std::uint64_t time = 0) {
  Member m;
  m.name = name;
  m.stream = LiteralStream(content);
  m.size = static_cast<std::uint32_t>(content.size());
  m.time = time;
  return m;
}

}  // namespace qev::e2e

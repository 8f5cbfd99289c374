// Archives laid out byte by byte from the formats' rules, apart from qev's
// own encoders, so that the tests can check qev against them and can build
// streams and indexes that qev never writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qev::e2e {

// Bits appended most significant first; the last byte is filled with zeros.
class BitString {
 public:
  void Put(int n, std::uint64_t value) {
    for (int i = n - 1; i >= 0; --i, ++bits_) {
      if (bits_ % 8 == 0) bytes_.push_back('\0');
      if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | 0x80 >> bits_ % 8);
    }
  }
  // A 2-bit class, then the value in 8, 16, 24 or 32 bits.
  void PutPacked(std::uint32_t value) {
    const int cls = value <= 0xFF ? 0 : value <= 0xFFFF ? 1 : value <= 0xFFFFFF ? 2 : 3;
    Put(2, cls);
    Put(8 * cls + 8, value);
  }
  void PutBytes(const std::string& bytes) {
    for (const char c : bytes) Put(8, static_cast<unsigned char>(c));
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int bits_ = 0;
};

inline std::uint32_t ByteSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (const char c : bytes) sum += static_cast<unsigned char>(c);
  return sum;
}

// Literals only, then the end marker: what qev's creation writes.
inline std::string LiteralStream(const std::string& plain) {
  BitString bits;
  for (const char c : plain) bits.Put(9, 0x100 | static_cast<unsigned char>(c));
  bits.Put(14, 0);
  return bits.Bytes();
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

// The streams from headerSize on; fills in the automatic offsets.
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
  BitString header;
  header.PutBytes("QEV3");
  header.PutPacked(static_cast<std::uint32_t>(members.size()));
  header.PutPacked(static_cast<std::uint32_t>(13 + streams.size()));
  BitString table;
  for (const Member& m : members) {
    table.PutPacked(static_cast<std::uint32_t>(m.time >> 32));
    table.PutPacked(static_cast<std::uint32_t>(m.time));
    table.PutPacked(m.checksum == kAuto ? ByteSum(m.stream) : m.checksum);
    table.PutPacked(m.offset);
    table.PutPacked(m.size);
    table.PutBytes(m.name + '\0');
  }
  return header.Bytes() + std::string(13 - header.Bytes().size(), '\0') + streams + table.Bytes();
}

inline std::string Format4Archive(std::vector<Member> members) {
  const std::string streams = PlaceStreams(members, 16);
  std::string plain;
  for (const Member& m : members) plain += m.name + '\0' + Le32(m.offset) + Le32(m.size) + Le32(0);
  return "QEV4" + Le32(static_cast<std::uint32_t>(members.size())) +
         Le32(static_cast<std::uint32_t>(16 + streams.size())) +
         Le32(static_cast<std::uint32_t>(plain.size())) + streams + LiteralStream(plain);
}

// The lines with which x and l open a recognised archive.
inline std::string OpenLines(const std::string& command, const std::string& path, int format,
                             std::size_t count) {
  return "command: " + command + " , file: " + path + "\nopen... " + path + " is QEV" +
         std::to_string(format) + " file.\nfile count: " + std::to_string(count) + "\n";
}

}  // namespace qev::e2e

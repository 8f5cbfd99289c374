// The end-to-end driver: each test runs the real qev command (--qev=CMD; add
// --windows for the Windows build under wine) in a fresh, empty directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "coding/bit_stream.h"
#include "coding/lzss.h"
#include "formats/format3.h"

namespace qev::e2e {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs qev here and returns its standard output, "\r\n" given as "\n";
  // fails the test unless qev exits 0 with nothing on standard error. limit
  // is a ulimit option: "-f 64" fails writes past 32 KiB, "-v 131072" leaves
  // 128 MiB of address space. Permission bits bind qev even as root.
  std::string Qev(const Names& args, const std::string& limit = "") const;

  static bool IsWindows();
  static const std::string& Command();
  // Not with sanitizers, which reserve far more than they use, nor under
  // wine, which serves the Windows build from space reserved at its start.
  static bool MemoryLimitApplies();

  static Names Listing();  // the current directory's entries, sorted
  static void WriteFile(const std::string& name, const std::string& bytes);
  static std::string ReadFile(const std::string& name);
  // Modification times as 100 ns intervals since 1601-01-01 UTC.
  static std::uint64_t ModTime(const std::string& name);
  static void SetModTime(const std::string& name, std::uint64_t filetime);

 private:
  std::string dir_;
  std::string previousDir_;
};

// Bytes written as hexadecimal pairs: Hex("51 45") == "QE".
inline std::string Hex(const std::string& pairs) {
  std::string bytes;
  for (std::size_t i = 0; i < pairs.size(); i += 3)
    bytes += char(std::stoi(pairs.substr(i, 2), nullptr, 16));
  return bytes;
}

inline std::string Le32(std::uint32_t v) {
  return {char(v & 255), char((v >> 8) & 255), char((v >> 16) & 255), char(v >> 24)};
}

inline std::string Header4(std::uint32_t count, std::uint32_t tableOffset,
                           std::uint32_t tableSize) {
  return std::string("QEV4").append(Le32(count)).append(Le32(tableOffset)).append(Le32(tableSize));
}

// A format-4 table entry before the table is stored.
inline std::string Plain4(const std::string& name, std::uint32_t offset, std::uint32_t size) {
  return std::string(name).append(1, '\0').append(Le32(offset)).append(Le32(size)).append(Le32(0));
}

// plain as qev stores a member: a stream of literals.
inline std::string LiteralStream(const std::string& plain) {
  ByteBuffer stream;
  LzssStore(ByteBuffer(plain.begin(), plain.end()), stream);
  return {stream.begin(), stream.end()};
}

// A member of an archive that a test lays down itself, holding what creation
// never writes: back-references, forged offsets and checksums, unsafe names.
inline constexpr std::uint32_t kAuto = 0xFFFFFFFF;
struct Member {
  std::string name;
  std::string stream;  // the stored bytes; streams lie back to back
  std::uint32_t size = 0;
  std::uint64_t time = 0;          // format 3 only
  std::uint32_t checksum = kAuto;  // format 3 only; kAuto: the stream's byte sum
  std::uint32_t offset = kAuto;    // kAuto: where the stream lies
};

inline Member Stored(const std::string& name, const std::string& content, std::uint64_t time = 0) {
  return {name, LiteralStream(content), static_cast<std::uint32_t>(content.size()), time};
}

// A format-3 header in its zero-filled 13-byte area.
inline std::string Header3(std::uint32_t count, std::uint32_t tableOffset) {
  ByteBuffer header;
  BitWriter writer;
  writer.Reset(header);
  EncodeFormat3Header(count, tableOffset, writer);
  header.resize(13);
  return {header.begin(), header.end()};
}

inline std::string Archive(int format, const std::vector<Member>& members) {
  const auto count = static_cast<std::uint32_t>(members.size());
  const std::uint32_t start = format == 3 ? 13 : 16;  // of the first stream
  std::string streams, plain;                         // plain: the format-4 table
  std::vector<Format3Entry> entries;
  NamePool names;
  for (const Member& m : members) {
    const std::uint32_t offset =
        m.offset != kAuto ? m.offset : start + std::uint32_t(streams.size());
    std::uint32_t sum = 0;
    for (const char c : m.stream) sum += static_cast<unsigned char>(c);
    const std::uint32_t checksum = m.checksum != kAuto ? m.checksum : sum;
    const FILETIME time = {std::uint32_t(m.time), std::uint32_t(m.time >> 32)};
    entries.push_back(
        {time, checksum, offset, m.size, names.Add(m.name), std::uint8_t(m.name.size())});
    plain += Plain4(m.name, offset, m.size);
    streams += m.stream;
  }
  const auto tableOffset = start + static_cast<std::uint32_t>(streams.size());
  if (format == 4) {
    return Header4(count, tableOffset, std::uint32_t(plain.size())) + streams +
           LiteralStream(plain);
  }
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(table);
  EncodeFormat3Table(entries, names, writer);
  return Header3(count, tableOffset) + streams + std::string(table.begin(), table.end());
}

// The line every accepted command opens with; those x, t and l add for an archive.
inline std::string Echo(const std::string& command, const std::string& path) {
  return "command: " + command + " , file: " + path + "\n";
}
inline std::string OpenLines(const std::string& command, const std::string& path, int format,
                             std::size_t count) {
  return Echo(command, path) + "open... " + path + " is QEV" + std::to_string(format) +
         " file.\nfile count: " + std::to_string(count) + "\n";
}

}  // namespace qev::e2e

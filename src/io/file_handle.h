// FileHandle: the single owner of one open platform file.
#pragma once

#include <cstdint>
#include <string>

#include "io/byte_source.h"
#include "platform/platform.h"
#include "types.h"

namespace qev {

// Synchronous and unbuffered: every operation is one or two platform calls.
// Closed when it goes out of scope; never copied.
class FileHandle final : public ByteSource {
 public:
  FileHandle() = default;
  ~FileHandle() override;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Closes first, then takes over the file that other holds, leaving
  // other closed.
  bool TakeFrom(FileHandle& other);
  // Closes first (returning false, without opening, if that fails), then
  // opens an existing file for reading with read sharing.
  bool OpenRead(const std::string& path);
  // Closes first, then creates a new file for writing with no sharing;
  // fails when any file or directory of that name exists.
  bool CreateNew(const std::string& path);
  // The same for a file under a temporary name that only this process uses
  // (see platform::CreateTemporaryForWrite).
  bool CreateTemporary(const std::string& path);
  // Closes first, then opens standard input (platform::OpenStandardInput).
  bool OpenStandardInput(bool* wholeFile);
  // Closes first, then opens standard output (platform::OpenStandardOutput).
  bool OpenStandardOutput();
  // Closes first, then creates a scratch file that vanishes once closed
  // (platform::CreateScratchFile).
  bool CreateScratch();
  // Reads on from the current position until size bytes have come or the
  // input ended; returns the count, short at the end or when a read fails.
  std::uint32_t ReadNext(void* dest, std::uint32_t size);
  // Seeks to offset from the start and reads up to size bytes into dest.
  // Returns the count read; 0 when the seek or the read fails, or when
  // offset is at or past the end of the file. Any unsigned 32-bit offset
  // can be reached.
  std::uint32_t ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) override;
  // Writes size bytes at the current position; returns the count written,
  // 0 when the write call fails.
  std::uint32_t Write(const void* src, std::uint32_t size);
  // Writes every byte of bytes at the current position; false when any
  // write fails or falls short.
  bool WriteAll(const ByteBuffer& bytes);
  bool SeekTo(std::uint32_t offset);
  // The low 32 bits of the size; 0xFFFFFFFF passes through on failure.
  std::uint32_t GetSize();
  std::uint32_t Size() override { return GetSize(); }
  // The whole size, beyond 4 GiB too. False on failure.
  bool GetFullSize(std::uint64_t* size) const;
  // False at once for a null out.
  bool GetWriteTime(FILETIME* out);
  bool SetAllTimes(const FILETIME* time);
  // Writes the file's buffered bytes through to the disk.
  bool Flush();
  // Copies length bytes from offset of source to the current position,
  // which moves past them (see platform::CopyRange). False when fewer were
  // copied.
  bool CopyFrom(FileHandle& source, std::uint32_t offset, std::uint32_t length);
  // Copies length bytes from offset of this file to standard output.
  bool CopyToOutput(std::uint32_t offset, std::uint32_t length);
  // Gives this file the permission bits of source.
  bool CopyPermissionsFrom(const FileHandle& source);
  // True when nothing is open. On failure the handle stays open.
  bool Close();

  bool IsOpen() const { return file_ != platform::kInvalidFile; }

 private:
  platform::NativeFile file_ = platform::kInvalidFile;
  // A file opened for reading cannot change while it is open: its size and
  // time, learnt by the open itself, answer the queries without asking the
  // platform again.
  platform::FileInfo info_;
  bool infoKnown_ = false;
};

}  // namespace qev

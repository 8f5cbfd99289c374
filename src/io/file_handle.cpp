#include "io/file_handle.h"

namespace qev {
namespace {

// A path holding a NUL would reach the platform cut short, naming some
// other file; such a path names nothing.
bool IsPlatformPath(const std::string& path) { return path.find('\0') == std::string::npos; }

}  // namespace

FileHandle::~FileHandle() { Close(); }

bool FileHandle::OpenRead(const std::string& path) {
  if (!Close()) return false;
  if (IsPlatformPath(path)) file_ = platform::OpenExistingForRead(path.c_str(), &info_);
  infoKnown_ = IsOpen();
  return IsOpen();
}

bool FileHandle::CreateNew(const std::string& path) {
  if (!Close()) return false;
  if (IsPlatformPath(path)) file_ = platform::CreateNewForWrite(path.c_str());
  return IsOpen();
}

bool FileHandle::CreateTemporary(const std::string& path) {
  if (!Close()) return false;
  if (IsPlatformPath(path)) file_ = platform::CreateTemporaryForWrite(path.c_str());
  return IsOpen();
}

bool FileHandle::TakeFrom(FileHandle& other) {
  if (!Close()) return false;
  file_ = other.file_;
  info_ = other.info_;
  infoKnown_ = other.infoKnown_;
  other.file_ = platform::kInvalidFile;
  other.infoKnown_ = false;
  return true;
}

bool FileHandle::OpenStandardInput(bool* wholeFile) {
  if (!Close()) return false;
  file_ = platform::OpenStandardInput(wholeFile);
  return IsOpen();
}

bool FileHandle::OpenStandardOutput() {
  if (!Close()) return false;
  file_ = platform::OpenStandardOutput();
  return IsOpen();
}

bool FileHandle::CreateScratch() {
  if (!Close()) return false;
  file_ = platform::CreateScratchFile();
  return IsOpen();
}

std::uint32_t FileHandle::ReadNext(void* dest, std::uint32_t size) {
  std::uint32_t done = 0;
  if (IsOpen()) platform::ReadStream(file_, dest, size, &done);
  return done;
}

std::uint32_t FileHandle::ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) {
  std::uint32_t done = 0;
  if (!IsOpen() || !platform::ReadFromFileAt(file_, offset, dest, size, &done)) return 0;
  return done;
}

bool FileHandle::WriteAll(const ByteBuffer& bytes) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  return bytes.size() <= UINT32_MAX && Write(bytes.data(), size) == size;
}

std::uint32_t FileHandle::Write(const void* src, std::uint32_t size) {
  if (!IsOpen()) return 0;
  std::uint32_t done = 0;
  if (!platform::WriteToFile(file_, src, size, &done)) return 0;
  return done;
}

bool FileHandle::SeekTo(std::uint32_t offset) {
  return IsOpen() && platform::SeekFromStart(file_, offset);
}

std::uint32_t FileHandle::GetSize() {
  if (infoKnown_) return static_cast<std::uint32_t>(info_.size);
  return IsOpen() ? platform::GetFileSizeLow(file_) : 0xFFFFFFFF;
}

bool FileHandle::GetFullSize(std::uint64_t* size) const {
  if (!infoKnown_) return IsOpen() && platform::GetFileSize64(file_, size);
  *size = info_.size;
  return true;
}

bool FileHandle::GetWriteTime(FILETIME* out) {
  if (out == nullptr || !IsOpen()) return false;
  if (!infoKnown_) return platform::GetFileWriteTime(file_, out);
  if (info_.hasWriteTime) *out = info_.writeTime;
  return info_.hasWriteTime;
}

bool FileHandle::SetAllTimes(const FILETIME* time) {
  return time != nullptr && IsOpen() && platform::SetFileTimes(file_, *time);
}

bool FileHandle::Flush() { return IsOpen() && platform::FlushFile(file_); }

bool FileHandle::CopyFrom(FileHandle& source, std::uint32_t offset, std::uint32_t length) {
  std::uint64_t done = 0;
  return IsOpen() && source.IsOpen() &&
         platform::CopyRange(source.file_, offset, length, file_, &done) && done == length;
}

bool FileHandle::CopyToOutput(std::uint32_t offset, std::uint32_t length) {
  std::uint64_t done = 0;
  return IsOpen() &&
         platform::CopyRange(file_, offset, length, platform::StandardOutput(), &done) &&
         done == length;
}

bool FileHandle::CopyPermissionsFrom(const FileHandle& source) {
  return IsOpen() && source.IsOpen() && platform::CopyPermissions(source.file_, file_);
}

bool FileHandle::Close() {
  if (!IsOpen()) return true;
  if (!platform::CloseFile(file_)) return false;
  file_ = platform::kInvalidFile;
  infoKnown_ = false;
  return true;
}

}  // namespace qev

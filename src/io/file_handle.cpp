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
  if (IsPlatformPath(path)) file_ = platform::OpenExistingForRead(path.c_str());
  return IsOpen();
}

bool FileHandle::CreateNew(const std::string& path) {
  if (!Close()) return false;
  if (IsPlatformPath(path)) file_ = platform::CreateNewForWrite(path.c_str());
  return IsOpen();
}

std::uint32_t FileHandle::ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) {
  if (!IsOpen() || !platform::SeekFromStart(file_, offset)) return 0;
  std::uint32_t done = 0;
  if (!platform::ReadFromFile(file_, dest, size, &done)) return 0;
  return done;
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
  return IsOpen() ? platform::GetFileSizeLow(file_) : 0xFFFFFFFF;
}

bool FileHandle::GetWriteTime(FILETIME* out) {
  return out != nullptr && IsOpen() && platform::GetFileWriteTime(file_, out);
}

bool FileHandle::SetAllTimes(const FILETIME* time) {
  return time != nullptr && IsOpen() && platform::SetFileTimes(file_, *time);
}

bool FileHandle::Close() {
  if (!IsOpen()) return true;
  if (!platform::CloseFile(file_)) return false;
  file_ = platform::kInvalidFile;
  return true;
}

}  // namespace qev

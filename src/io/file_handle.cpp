#include "io/file_handle.h"

namespace qev {
FileHandle::~FileHandle() { Close(); }
bool FileHandle::OpenRead(const std::string&) { return false; }
bool FileHandle::CreateNew(const std::string&) { return false; }
std::uint32_t FileHandle::ReadAt(std::uint32_t, std::uint32_t, void*) { return 0; }
std::uint32_t FileHandle::Write(const void*, std::uint32_t) { return 0; }
bool FileHandle::SeekTo(std::uint32_t) { return false; }
std::uint32_t FileHandle::GetSize() { return 0; }
bool FileHandle::GetWriteTime(FILETIME*) { return false; }
bool FileHandle::SetAllTimes(const FILETIME*) { return false; }
bool FileHandle::Close() { return true; }
}  // namespace qev

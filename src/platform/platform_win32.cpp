// The platform seam on Windows: each operation is the Win32 call it is named
// after, with the arguments and flags that platform.h describes.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdarg>
#include <cstring>

namespace qev::platform {
namespace {

HANDLE ToHandle(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

// A handle that CreateFileA returned, or kInvalidFile. Only disk files are
// kept: a name that reached a device (the console, a serial port, a pipe)
// is closed again, so that reading "CON" cannot wait for the keyboard and
// writing cannot go anywhere but into a file.
NativeFile KeepDiskFile(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return kInvalidFile;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return kInvalidFile;
  }
  return reinterpret_cast<NativeFile>(handle);
}

::FILETIME ToWin32(const FILETIME& time) {
  ::FILETIME result;
  result.dwLowDateTime = time.dwLowDateTime;
  result.dwHighDateTime = time.dwHighDateTime;
  return result;
}

FILETIME FromWin32(const ::FILETIME& time) {
  FILETIME result;
  result.dwLowDateTime = time.dwLowDateTime;
  result.dwHighDateTime = time.dwHighDateTime;
  return result;
}

char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsAsciiNoCase(const char* text, std::size_t length, const char* word) {
  if (std::strlen(word) != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (ToUpperAscii(text[i]) != word[i]) return false;
  }
  return true;
}

// The digits that follow COM and LPT in a device name: 0 to 9 and, in the
// ANSI code page, the superscripts one, two and three.
bool IsDeviceDigit(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

// Whether one path component names a device. Windows looks only at the part
// before the first dot, without its trailing spaces, so "nul", "NUL.txt",
// "Con .log", "aux." and "prn " are all devices.
bool IsDeviceComponent(const char* component, std::size_t length) {
  std::size_t stem = 0;
  while (stem < length && component[stem] != '.') ++stem;
  while (stem > 0 && component[stem - 1] == ' ') --stem;
  static const char* const kPlainDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kPlainDevices) {
    if (EqualsAsciiNoCase(component, stem, device)) return true;
  }
  if (stem == 4 && IsDeviceDigit(component[3])) {
    return EqualsAsciiNoCase(component, 3, "COM") || EqualsAsciiNoCase(component, 3, "LPT");
  }
  return false;
}

}  // namespace

NativeFile OpenExistingForRead(const char* path, FileInfo* info) {
  const NativeFile file = KeepDiskFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file == kInvalidFile || info == nullptr) return file;
  // One call for what GetFileSize and GetFileTime would tell.
  BY_HANDLE_FILE_INFORMATION about;
  if (!GetFileInformationByHandle(ToHandle(file), &about)) {
    CloseHandle(ToHandle(file));
    return kInvalidFile;
  }
  info->size = (std::uint64_t{about.nFileSizeHigh} << 32) | about.nFileSizeLow;
  info->writeTime = FromWin32(about.ftLastWriteTime);
  info->hasWriteTime = true;
  return file;
}

NativeFile CreateNewForWrite(const char* path) {
  return KeepDiskFile(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

NativeFile CreateTemporaryForWrite(const char* path) { return CreateNewForWrite(path); }

bool SeekFromStart(NativeFile file, std::uint32_t offset) {
  // The high part makes the distance a 64-bit value, so offsets from 2 GiB
  // to 4 GiB - 1 are reached instead of being taken as negative.
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(ToHandle(file), static_cast<LONG>(offset), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool ReadFromFile(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done) {
  DWORD count = 0;
  const BOOL ok = ReadFile(ToHandle(file), dest, size, &count, nullptr);
  *done = ok ? count : 0;
  return ok != FALSE;
}

bool ReadFromFileAt(NativeFile file, std::uint32_t offset, void* dest, std::uint32_t size,
                    std::uint32_t* done) {
  *done = 0;
  return SeekFromStart(file, offset) && ReadFromFile(file, dest, size, done);
}

namespace {

// A handle of our own to a standard stream, closed like any file's, or
// INVALID_HANDLE_VALUE where the stream is missing.
HANDLE DuplicateStandardHandle(DWORD which) {
  HANDLE own = INVALID_HANDLE_VALUE;
  const HANDLE stream = GetStdHandle(which);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), stream, GetCurrentProcess(), &own, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return INVALID_HANDLE_VALUE;
  }
  return own;
}

}  // namespace

NativeFile OpenStandardInput(bool* wholeFile) {
  const HANDLE own = DuplicateStandardHandle(STD_INPUT_HANDLE);
  if (own == INVALID_HANDLE_VALUE) return kInvalidFile;
  LARGE_INTEGER zero = {};
  LARGE_INTEGER at = {};
  *wholeFile = GetFileType(own) == FILE_TYPE_DISK &&
               SetFilePointerEx(own, zero, &at, FILE_CURRENT) != FALSE && at.QuadPart == 0;
  return reinterpret_cast<NativeFile>(own);
}

bool ReadStream(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done) {
  // A pipe gives what its writer wrote, a piece at a time, and ends with
  // ERROR_BROKEN_PIPE once every writer closed it.
  *done = 0;
  while (*done < size) {
    DWORD count = 0;
    if (!ReadFile(ToHandle(file), static_cast<char*>(dest) + *done, size - *done, &count,
                  nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE;
    }
    if (count == 0) break;
    *done += count;
  }
  return true;
}

NativeFile CreateScratchFile() {
  char dir[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof dir, dir);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(dir, "qev", 0, path) == 0) {
    return kInvalidFile;
  }
  // GetTempFileNameA made the file; this open takes it over, to be deleted
  // when its last handle closes, which the end of the process does too.
  const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DeleteFileA(path);
    return kInvalidFile;
  }
  return reinterpret_cast<NativeFile>(handle);
}

bool WriteToFile(NativeFile file, const void* src, std::uint32_t size, std::uint32_t* done) {
  DWORD count = 0;
  const BOOL ok = WriteFile(ToHandle(file), src, size, &count, nullptr);
  *done = ok ? count : 0;
  return ok != FALSE;
}

std::uint32_t GetFileSizeLow(NativeFile file) { return GetFileSize(ToHandle(file), nullptr); }

bool GetFileSize64(NativeFile file, std::uint64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(ToHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (std::uint64_t{high} << 32) | low;
  return true;
}

bool GetFileWriteTime(NativeFile file, FILETIME* out) {
  ::FILETIME written;
  if (!GetFileTime(ToHandle(file), nullptr, nullptr, &written)) return false;
  *out = FromWin32(written);
  return true;
}

bool SetFileTimes(NativeFile file, const FILETIME& time) {
  const ::FILETIME value = ToWin32(time);
  return SetFileTime(ToHandle(file), &value, &value, &value) != FALSE;
}

bool SetPathTimes(const char* path, const FILETIME& time) {
  const HANDLE handle = CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTimes(reinterpret_cast<NativeFile>(handle), time);
  CloseHandle(handle);
  return set;
}

bool CloseFile(NativeFile file) { return CloseHandle(ToHandle(file)) != FALSE; }

bool DeletePath(const char* path) { return DeleteFileA(path) != FALSE; }

bool DeleteOwnFile(const char* path) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path) != FALSE;
}

bool ReplacePath(const char* from, const char* to) {
  // What DeleteFileA refuses may not be replaced: a directory or a read-only
  // file; a file open without delete sharing makes the move itself fail.
  // The move replaces the old file in one step, so that a failure between
  // removing it and renaming the new one can never leave neither.
  const DWORD attributes = GetFileAttributesA(to);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return false;
  }
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool FlushFile(NativeFile file) { return FlushFileBuffers(ToHandle(file)) != FALSE; }

bool CopyRange(NativeFile from, std::uint64_t offset, std::uint64_t length, NativeFile to,
               std::uint64_t* done) {
  // A read and write loop: the source is read through an OVERLAPPED offset,
  // which leaves the destination's position the only one that moves.
  constexpr DWORD kPiece = 1024 * 1024;
  *done = 0;
  HANDLE heap = GetProcessHeap();
  void* buffer = HeapAlloc(heap, 0, kPiece);
  if (buffer == nullptr) return false;
  bool ok = true;
  while (ok && *done < length) {
    const std::uint64_t at = offset + *done;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(length - *done < kPiece ? length - *done : kPiece);
    DWORD got = 0;
    DWORD put = 0;
    ok = ReadFile(ToHandle(from), buffer, want, &got, &where) != FALSE && got > 0 &&
         WriteFile(ToHandle(to), buffer, got, &put, nullptr) != FALSE && put == got;
    if (ok) *done += got;
  }
  HeapFree(heap, 0, buffer);
  return ok;
}

bool CopyPermissions(NativeFile, NativeFile) { return true; }

NativeFile StandardOutput() {
  return reinterpret_cast<NativeFile>(GetStdHandle(STD_OUTPUT_HANDLE));
}

NativeFile OpenStandardOutput() {
  const HANDLE own = DuplicateStandardHandle(STD_OUTPUT_HANDLE);
  return own == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<NativeFile>(own);
}

bool IsTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(
             GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
             &mode) != FALSE;
}

bool GetPathSize(const char* path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA about;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &about)) return false;
  *size = (std::uint64_t{about.nFileSizeHigh} << 32) | about.nFileSizeLow;
  return true;
}

bool ResolvePath(const char* path, std::string* resolved) {
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
  resolved->assign(path);
  return true;
}

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool MayWrite(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDeviceOrStreamName(const char* name) {
  if (std::strchr(name, ':') != nullptr) return true;
  // Every component is examined: a device name is a device in any directory.
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\0' || IsPathSeparator(*p)) {
      if (IsDeviceComponent(component, static_cast<std::size_t>(p - component))) return true;
      if (*p == '\0') return false;
      component = p + 1;
    }
  }
}

void FindEntries(const std::string& pattern, const FoundEntry& found) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    found(entry.cFileName, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  // Whole NUL-terminated strings, as the comparison has always been made.
  const std::string first(a);
  const std::string second(b);
  return CompareStringA(0x0400, NORM_IGNORECASE, first.c_str(), -1, second.c_str(), -1) ==
         CSTR_EQUAL;
}

bool FileTimeToLocal(const FILETIME& utc, FILETIME* local) {
  const ::FILETIME in = ToWin32(utc);
  ::FILETIME out;
  if (!FileTimeToLocalFileTime(&in, &out)) return false;
  *local = FromWin32(out);
  return true;
}

bool FileTimeToCalendar(const FILETIME& time, CalendarTime* out) {
  const ::FILETIME in = ToWin32(time);
  SYSTEMTIME fields;
  if (!FileTimeToSystemTime(&in, &fields)) return false;
  out->year = fields.wYear;
  out->month = fields.wMonth;
  out->dayOfWeek = fields.wDayOfWeek;
  out->day = fields.wDay;
  out->hour = fields.wHour;
  out->minute = fields.wMinute;
  out->second = fields.wSecond;
  out->milliseconds = fields.wMilliseconds;
  return true;
}

int FormatToBuffer(char* buffer, std::size_t capacity, const char* format, ...) {
  if (capacity == 0) return 0;
  // wvsprintfA takes no capacity and fills at most 1024 bytes, so it
  // formats into a buffer of that size first. Its count is not trusted on a
  // cut: the length is that of the text it stored.
  char full[1025];
  full[0] = '\0';
  full[sizeof full - 1] = '\0';
  va_list args;
  va_start(args, format);
  wvsprintfA(full, format, args);
  va_end(args);
  std::size_t length = std::strlen(full);
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(buffer, full, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace qev::platform

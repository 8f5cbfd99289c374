// The one seam between qev and the operating system.
//
// Every call that touches the platform's file system, its directory search,
// its locale-aware comparison, its time conversion or its buffer formatter
// goes through this header. platform_posix.cpp gives POSIX systems the
// behaviour that the Windows calls have; platform_win32.cpp makes the real
// Windows calls. Nothing else in qev includes a platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "types.h"

namespace qev::platform {

// An open platform file: a file descriptor on POSIX, a HANDLE on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kInvalidFile = -1;

// What the open of a file for reading finds out about it.
struct FileInfo {
  std::uint64_t size = 0;  // the whole size, beyond 4 GiB too
  FILETIME writeTime;      // last-write time (UTC)
  bool hasWriteTime = false;
};

// Opens an existing regular file for reading at position 0, sharing it with
// other readers only: while it is open nobody may open it for writing or
// delete it. Fails for a missing path, a directory, or a file that somebody
// is creating (held exclusively). Returns kInvalidFile on failure. When
// info is not null it receives the file's size and last-write time, which
// stay true while the file is open, since nobody may change it.
NativeFile OpenExistingForRead(const char* path, FileInfo* info);

// Creates a new empty file for writing and holds it exclusively: fails when
// any file or directory of that name exists; while it is open nobody else
// may open it. Returns kInvalidFile on failure.
NativeFile CreateNewForWrite(const char* path);

// The same for a file under a temporary name of qev's own, which takes its
// real name only once it is whole: nobody has a reason to open it, so on
// POSIX the lock that stands in for the exclusive hold is not taken (a
// call per file). Windows holds it exclusively all the same.
NativeFile CreateTemporaryForWrite(const char* path);

// A handle of its own on standard input, closed as any file, or
// kInvalidFile when there is none. *wholeFile tells whether it is a regular
// file read from its start, whose bytes can be read at any offset; else
// (a pipe, a socket, a terminal, a file read from within) only
// ReadStream reads it.
NativeFile OpenStandardInput(bool* wholeFile);

// Reads from the current position until size bytes have come or the input
// ended (a pipe whose writers closed it too), waiting for them; *done
// receives the count. False on failure.
bool ReadStream(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done);

// Moves the position to offset bytes from the start (any unsigned 32-bit
// offset; past the end of the file is allowed). False on failure.
bool SeekFromStart(NativeFile file, std::uint32_t offset);

// Synchronous read from the current position; *done receives the number of
// bytes read (fewer, down to 0, at the end of the file). False on failure.
bool ReadFromFile(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done);

// The same from offset bytes after the start of the file (any unsigned
// 32-bit offset), in one call where the platform can: the position
// afterwards is not defined.
bool ReadFromFileAt(NativeFile file, std::uint32_t offset, void* dest, std::uint32_t size,
                    std::uint32_t* done);

// Synchronous write at the current position, extending the file as needed;
// *done receives the number of bytes written. False on failure.
bool WriteToFile(NativeFile file, const void* src, std::uint32_t size, std::uint32_t* done);

// The low 32 bits of the file's size, or 0xFFFFFFFF on failure.
std::uint32_t GetFileSizeLow(NativeFile file);

// The file's whole size, beyond 4 GiB too. False on failure.
bool GetFileSize64(NativeFile file, std::uint64_t* size);

// The file's last-write time (UTC).
bool GetFileWriteTime(NativeFile file, FILETIME* out);

// Sets creation (where the platform has one), last-access and last-write
// time to the one value.
bool SetFileTimes(NativeFile file, const FILETIME& time);

// The same for the file at path, which this process may write.
bool SetPathTimes(const char* path, const FILETIME& time);

// Releases the file. False on failure, in which case it is still open.
bool CloseFile(NativeFile file);

// Removes a file if the platform allows it. Refused, as on Windows, for a
// directory, for a read-only file (no write permission bit at all), and for
// a file that an open NativeFile of this process holds.
bool DeletePath(const char* path);

// Removes a file that this process created under a temporary name of its
// own, whatever its permission bits or attributes (unlink on POSIX; on
// Windows the read-only attribute is cleared first).
bool DeleteOwnFile(const char* path);

// Gives the file at from the name to: a file already called to is replaced
// when DeletePath would remove it. Fails, leaving from as it is, when to
// names a directory or a file that may not be deleted. Both names lie in the
// same directory.
bool ReplacePath(const char* from, const char* to);

// Writes what the file holds in buffers through to the disk (fsync,
// FlushFileBuffers): once it returns true the bytes survive a crash.
bool FlushFile(NativeFile file);

// Copies length bytes from offset of from to the current position of to,
// which moves past them. The kernel copies where it can (copy_file_range on
// Linux, which may share the blocks instead); elsewhere, or when it cannot,
// a read and write loop does. *done receives the bytes copied. False when
// fewer than length could be copied: a read or write failed, or from ended.
bool CopyRange(NativeFile from, std::uint64_t offset, std::uint64_t length, NativeFile to,
               std::uint64_t* done);

// Gives to the permission bits of from (fchmod from fstat on POSIX; Windows
// keeps no such bits, and this does nothing there).
bool CopyPermissions(NativeFile from, NativeFile to);

// The path that path reaches, symbolic links followed (realpath on POSIX;
// on Windows the path as given). False when path reaches nothing.
bool ResolvePath(const char* path, std::string* resolved);

// True when anything at all stands at path, a dangling symbolic link too.
bool PathExists(const char* path);

// True when the file at path is not read-only and this process may write
// to it: on POSIX it has a write permission bit (the rule by which
// DeletePath refuses a read-only file, which binds root too) and access
// with W_OK allows it; on Windows it lacks the read-only attribute.
bool MayWrite(const char* path);

// True for a directory separator of the platform: '/' on POSIX, '/' and
// '\' on Windows.
bool IsPathSeparator(char c);

// True when writing a file of this name would reach something other than a
// plain file of the current directory: on Windows a name with ':' (a drive
// prefix or an alternate data stream) or a reserved device name (CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, with any extension). Always
// false on POSIX, where such names are ordinary.
bool IsDeviceOrStreamName(const char* name);

// Receives each entry that a directory search finds: its bare name (never a
// directory part) and whether it is a directory.
using FoundEntry = std::function<void(std::string_view name, bool isDirectory)>;

// Searches the directory that pattern names (the current directory when it
// has no directory part) for entries whose names match the last component,
// in which '*' matches any run of characters and '?' one character, under
// the platform's file-name case rule, and hands each to found in the
// platform's search order (sorted by byte value on POSIX). A missing
// directory or a malformed pattern finds nothing.
void FindEntries(const std::string& pattern, const FoundEntry& found);

// The platform's locale-aware whole-string comparison, ignoring case (user
// default locale): true when the two strings compare equal. Neither holds a
// NUL.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Converts a UTC time stamp to local time. The offset applied is the one in
// force now in the process's time zone, the same for every stamp.
bool FileTimeToLocal(const FILETIME& utc, FILETIME* local);

// Splits a time stamp into calendar fields. Fails for values of 2^63 and
// above.
bool FileTimeToCalendar(const FILETIME& time, CalendarTime* out);

// The process's standard output and error.
enum class StandardStream { kOutput, kError };

// Standard output as a file to write raw bytes to, never closed by qev: no
// line-end translation on Windows. A pipe there is widened to 1 MiB where
// the platform allows, so that its reader is woken less often.
NativeFile StandardOutput();

// A handle of its own on standard output, closed as any file, widened as
// above, or kInvalidFile when there is none.
NativeFile OpenStandardOutput();

// True when the stream is a terminal (a console on Windows).
bool IsTerminal(StandardStream stream);

// Creates an empty scratch file, open for reading and writing, in the
// directory for temporary files (TMPDIR, else /tmp; on Windows the one
// GetTempPathA names). It has no name, or loses it when it is closed, so
// that no end of the process leaves it behind; only where the file system
// cannot make a nameless file may a kill in the instant between its
// creation and its unlinking leave a file qev-XXXXXX there. kInvalidFile
// on failure.
NativeFile CreateScratchFile();

// The size of the file that path names, symbolic links followed. False
// when nothing is there.
bool GetPathSize(const char* path, std::uint64_t* size);

// printf-style formatting into buffer (at most capacity bytes, NUL
// included) with the platform's buffer formatter. Returns the number of
// characters stored, without the NUL.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
int FormatToBuffer(char* buffer, std::size_t capacity, const char* format, ...);

}  // namespace qev::platform

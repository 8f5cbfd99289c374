// POSIX implementation of the platform seam. Each call gives the behaviour
// that qev relies on from the Windows call it stands in for: share modes are
// emulated with flock (locks belong to the open file description, so two
// opens within this process conflict just as two processes do), and time
// stamps convert to and from FILETIME at full 100 ns precision.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace qev::platform {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDeltaSeconds = 11'644'473'600;
// Linux caps one read or write call at a little under 2 GiB.
constexpr std::size_t kMaxTransfer = 0x40000000;

int ToFd(NativeFile file) { return static_cast<int>(file); }

std::uint64_t ToTicks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<std::uint32_t>(ticks);
  time.dwHighDateTime = static_cast<std::uint32_t>(ticks >> 32);
  return time;
}

// False for instants before 1601, which FILETIME cannot hold.
bool TimespecToFileTime(const timespec& ts, FILETIME* out) {
  const std::int64_t seconds = static_cast<std::int64_t>(ts.tv_sec) + kEpochDeltaSeconds;
  if (seconds < 0) return false;
  const auto ticks = static_cast<std::uint64_t>(seconds) * kTicksPerSecond +
                     static_cast<std::uint64_t>(ts.tv_nsec) / 100;
  *out = FromTicks(ticks);
  return true;
}

timespec FileTimeToTimespec(const FILETIME& time) {
  const std::uint64_t ticks = ToTicks(time);
  timespec ts{};
  ts.tv_sec =
      static_cast<time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDeltaSeconds);
  ts.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
  return ts;
}

}  // namespace

NativeFile OpenExistingForRead(const char* path, FileInfo* info) {
  // O_NONBLOCK keeps a FIFO or a device from hanging the open. Only regular
  // files are kept, whose reads never wait for data, so it stays set.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_SH | LOCK_NB) != 0) {
    close(fd);
    return kInvalidFile;
  }
  if (info != nullptr) {
    info->size = static_cast<std::uint64_t>(st.st_size);
    info->hasWriteTime = TimespecToFileTime(st.st_mtim, &info->writeTime);
  }
  return fd;
}

NativeFile CreateNewForWrite(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return kInvalidFile;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Somebody opened the file in the instant since it was made; it is
    // still ours and empty, so take it away again rather than share it.
    unlink(path);
    close(fd);
    return kInvalidFile;
  }
  return fd;
}

NativeFile CreateTemporaryForWrite(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  return fd < 0 ? kInvalidFile : fd;
}

bool SeekFromStart(NativeFile file, std::uint32_t offset) {
  return lseek(ToFd(file), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

namespace {

// Reads until size bytes have come or the file ends, through read (at is
// negative) or pread from at. A file that reports it would wait (opened
// with O_NONBLOCK, on a file system that honours it for regular files) is
// made to wait.
bool ReadLoop(int fd, off_t at, void* dest, std::uint32_t size, std::uint32_t* done) {
  auto* out = static_cast<char*>(dest);
  std::uint32_t total = 0;
  while (total < size) {
    const std::size_t chunk = std::min<std::size_t>(size - total, kMaxTransfer);
    const ssize_t n = at < 0 ? read(fd, out + total, chunk) : pread(fd, out + total, chunk, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) continue;
      *done = total;
      return false;
    }
    if (n == 0) break;
    total += static_cast<std::uint32_t>(n);
    if (at >= 0) at += n;
  }
  *done = total;
  return true;
}

}  // namespace

bool ReadFromFile(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done) {
  return ReadLoop(ToFd(file), -1, dest, size, done);
}

bool ReadFromFileAt(NativeFile file, std::uint32_t offset, void* dest, std::uint32_t size,
                    std::uint32_t* done) {
  return ReadLoop(ToFd(file), static_cast<off_t>(offset), dest, size, done);
}

bool WriteToFile(NativeFile file, const void* src, std::uint32_t size, std::uint32_t* done) {
  const auto* in = static_cast<const char*>(src);
  std::uint32_t total = 0;
  while (total < size) {
    const std::size_t chunk = std::min<std::size_t>(size - total, kMaxTransfer);
    const ssize_t n = write(ToFd(file), in + total, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A failure after some bytes went out is a short write, which the
      // count tells; a failure before any is a failed call.
      *done = total;
      return total > 0;
    }
    if (n == 0) break;
    total += static_cast<std::uint32_t>(n);
  }
  *done = total;
  return true;
}

bool ReadStream(NativeFile file, void* dest, std::uint32_t size, std::uint32_t* done) {
  return ReadLoop(ToFd(file), -1, dest, size, done);
}

std::uint32_t GetFileSizeLow(NativeFile file) {
  struct stat st;
  if (fstat(ToFd(file), &st) != 0) return 0xFFFFFFFF;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
}

bool GetFileSize64(NativeFile file, std::uint64_t* size) {
  struct stat st;
  if (fstat(ToFd(file), &st) != 0 || st.st_size < 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool GetFileWriteTime(NativeFile file, FILETIME* out) {
  struct stat st;
  if (fstat(ToFd(file), &st) != 0) return false;
  return TimespecToFileTime(st.st_mtim, out);
}

bool SetFileTimes(NativeFile file, const FILETIME& time) {
  const timespec ts = FileTimeToTimespec(time);
  const timespec both[2] = {ts, ts};
  return futimens(ToFd(file), both) == 0;
}

bool SetPathTimes(const char* path, const FILETIME& time) {
  const timespec times[2] = {FileTimeToTimespec(time), FileTimeToTimespec(time)};
  return utimensat(AT_FDCWD, path, times, 0) == 0;
}

bool CloseFile(NativeFile file) {
  const int fd = ToFd(file);
  if (close(fd) == 0 || errno == EINTR) return true;
  if (errno == EBADF) return false;
  // Linux releases the descriptor even when close reports an error (a
  // delayed write failure, for instance). The caller still counts the file
  // as open and will close it again later, so park the number on /dev/null:
  // that later close then cannot hit a descriptor opened in the meantime.
  const int placeholder = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (placeholder >= 0 && placeholder != fd) {
    dup2(placeholder, fd);
    close(placeholder);
  }
  return false;
}

namespace {

// Runs remove, which takes path away (an unlink, or a rename over it), when
// Windows would delete what path names: not a directory, not a file without
// any write permission, not a file that a FileHandle of this process or
// another holds. The exclusive lock that proves the last is kept across
// remove.
template <class Remove>
bool RemoveIfDeletable(const char* path, const struct stat& st, Remove remove) {
  if (S_ISDIR(st.st_mode)) return false;
  if (!S_ISREG(st.st_mode)) return remove();
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  const bool removed = remove();
  if (fd >= 0) close(fd);
  return removed;
}

}  // namespace

bool DeletePath(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && RemoveIfDeletable(path, st, [&] { return unlink(path) == 0; });
}

bool ReplacePath(const char* from, const char* to) {
#if defined(RENAME_NOREPLACE)
  // Mostly no file is called to yet: then one call both finds that out and
  // gives the name. Where it fails for any reason, the steps below decide.
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
#endif
  const auto move = [&] { return std::rename(from, to) == 0; };
  struct stat st;
  if (lstat(to, &st) != 0) return errno == ENOENT && move();
  return RemoveIfDeletable(to, st, move);
}

bool IsPathSeparator(char c) { return c == '/'; }

bool IsDeviceOrStreamName(const char*) { return false; }

bool FileTimeToLocal(const FILETIME& utc, FILETIME* local) {
  const time_t now = time(nullptr);
  tm parts{};
  if (localtime_r(&now, &parts) == nullptr) return false;
  const std::int64_t offsetTicks =
      static_cast<std::int64_t>(parts.tm_gmtoff) * static_cast<std::int64_t>(kTicksPerSecond);
  const std::uint64_t ticks = ToTicks(utc);
  if (offsetTicks < 0 && ticks < static_cast<std::uint64_t>(-offsetTicks)) return false;
  if (offsetTicks > 0 && ticks > UINT64_MAX - static_cast<std::uint64_t>(offsetTicks)) {
    return false;
  }
  *local = FromTicks(ticks + static_cast<std::uint64_t>(offsetTicks));
  return true;
}

bool FileTimeToCalendar(const FILETIME& time, CalendarTime* out) {
  const std::uint64_t ticks = ToTicks(time);
  if (ticks >= (std::uint64_t{1} << 63)) return false;
  constexpr std::uint64_t kTicksPerDay = kTicksPerSecond * 86'400;
  const std::uint64_t daysSince1601 = ticks / kTicksPerDay;
  const std::uint64_t tickOfDay = ticks % kTicksPerDay;

  // Days to civil date in the proleptic Gregorian calendar, counted from
  // 0000-03-01 so that the leap day ends each 400-year era.
  // 1601-01-01 is day 584694 after 0000-03-01.
  const std::uint64_t z = daysSince1601 + 584'694;
  const std::uint64_t era = z / 146'097;
  const std::uint64_t dayOfEra = z - era * 146'097;
  const std::uint64_t yearOfEra =
      (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
  const std::uint64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const std::uint64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::uint64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  const std::uint64_t second = tickOfDay / kTicksPerSecond;
  out->year = static_cast<std::uint16_t>(year);
  out->month = static_cast<std::uint16_t>(month);
  out->day = static_cast<std::uint16_t>(day);
  out->dayOfWeek = static_cast<std::uint16_t>((daysSince1601 + 1) % 7);  // 1601-01-01: Monday
  out->hour = static_cast<std::uint16_t>(second / 3'600);
  out->minute = static_cast<std::uint16_t>(second / 60 % 60);
  out->second = static_cast<std::uint16_t>(second % 60);
  out->milliseconds = static_cast<std::uint16_t>(tickOfDay % kTicksPerSecond / 10'000);
  return true;
}

int FormatToBuffer(char* buffer, std::size_t capacity, const char* format, ...) {
  if (capacity == 0) return 0;
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, capacity, format, args);
  va_end(args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return std::min(wanted, static_cast<int>(capacity - 1));
}

}  // namespace qev::platform

// POSIX implementation of the platform seam, part three: what replacing a
// file in place needs. The new file is filled by copying ranges of the old
// one, takes its permission bits, and is flushed to disk before it takes
// the old one's name.
#include <fcntl.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace qev::platform {
namespace {

int ToFd(NativeFile file) { return static_cast<int>(file); }

// One call copies at most this much, so that a call stays well inside
// what every kernel accepts.
constexpr std::uint64_t kMaxCall = 0x40000000;

// Copies through memory, a piece at a time: where the kernel cannot copy
// between the two files itself.
bool CopyThroughMemory(int from, std::uint64_t offset, std::uint64_t length, int to,
                       std::uint64_t* done) {
  constexpr std::size_t kPiece = 1024 * 1024;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPiece]);
  if (!buffer) return false;
  while (*done < length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, length - *done));
    const ssize_t got = pread(from, buffer.get(), want, static_cast<off_t>(offset + *done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    for (ssize_t put = 0; put < got;) {
      const ssize_t n = write(to, buffer.get() + put, static_cast<std::size_t>(got - put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      put += n;
      *done += static_cast<std::uint64_t>(n);
    }
  }
  return true;
}

}  // namespace

bool FlushFile(NativeFile file) {
  while (fsync(ToFd(file)) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool CopyRange(NativeFile from, std::uint64_t offset, std::uint64_t length, NativeFile to,
               std::uint64_t* done) {
  *done = 0;
#if defined(__linux__)
  while (*done < length) {
    auto in = static_cast<loff_t>(offset + *done);
    const auto want = static_cast<std::size_t>(std::min(kMaxCall, length - *done));
    const ssize_t n = copy_file_range(ToFd(from), &in, ToFd(to), nullptr, want, 0);
    if (n > 0) {
      *done += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Only a kernel or file system that cannot copy between these files
    // hands the copy back; a write that fails (a full disk, a file size
    // limit) or a source that ended fails the copy here.
    if (n == 0 || (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP &&
                   errno != ENOTSUP)) {
      return false;
    }
    break;
  }
  // Into a pipe, sendfile hands over the source's cached pages rather than
  // copying them through memory twice.
  while (*done < length) {
    auto in = static_cast<off_t>(offset + *done);
    const auto want = static_cast<std::size_t>(std::min(kMaxCall, length - *done));
    const ssize_t n = sendfile(ToFd(to), ToFd(from), &in, want);
    if (n > 0) {
      *done += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != ENOSYS && errno != EINVAL)) return false;
    break;
  }
  if (*done == length) return true;
#else
  (void)kMaxCall;
#endif
  return CopyThroughMemory(ToFd(from), offset, length, ToFd(to), done);
}

bool CopyPermissions(NativeFile from, NativeFile to) {
  struct stat st;
  return fstat(ToFd(from), &st) == 0 && fchmod(ToFd(to), st.st_mode & 07777) == 0;
}

bool ResolvePath(const char* path, std::string* resolved) {
  char* real = realpath(path, nullptr);
  if (real == nullptr) return false;
  resolved->assign(real);
  std::free(real);
  return true;
}

bool PathExists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

bool MayWrite(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
         access(path, W_OK) == 0;
}

bool DeleteOwnFile(const char* path) { return unlink(path) == 0; }

}  // namespace qev::platform

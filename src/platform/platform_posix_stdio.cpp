// POSIX implementation of the platform seam, part four: the standard
// streams and scratch files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace qev::platform {

namespace {

// A pipe of 64 KiB wakes its reader and writer for every 64 KiB: one of
// 1 MiB (the most an unprivileged process may ask for by default) sixteen
// times less often. Where that is refused the pipe stays as it is.
void WidenPipe([[maybe_unused]] int fd) {
#if defined(F_SETPIPE_SZ)
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) fcntl(fd, F_SETPIPE_SZ, 1024 * 1024);
#endif
}

}  // namespace

NativeFile OpenStandardInput(bool* wholeFile) {
  const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  *wholeFile = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && lseek(fd, 0, SEEK_CUR) == 0;
  WidenPipe(fd);
  return fd;
}

NativeFile StandardOutput() {
  static const bool widened = (WidenPipe(STDOUT_FILENO), true);
  (void)widened;
  return STDOUT_FILENO;
}

NativeFile OpenStandardOutput() {
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd >= 0) WidenPipe(fd);
  return fd < 0 ? kInvalidFile : fd;
}

bool IsTerminal(StandardStream stream) {
  return isatty(stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

NativeFile CreateScratchFile() {
  const char* dir = std::getenv("TMPDIR");
  const std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
#if defined(O_TMPFILE)
  const int nameless = open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (nameless >= 0) return nameless;
#endif
  std::string path = base + "/qev-XXXXXX";
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  unlink(path.c_str());
  return fd;
}

bool GetPathSize(const char* path, std::uint64_t* size) {
  struct stat st;
  if (stat(path, &st) != 0 || st.st_size < 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

}  // namespace qev::platform

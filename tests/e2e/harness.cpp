#include "harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qev::e2e {
namespace {

namespace fs = std::filesystem;

Settings& MutableSettings() {
  static Settings settings;
  return settings;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;

std::string SlurpFile(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  return text;
}

}  // namespace

const Settings& GetSettings() { return MutableSettings(); }

std::string FoldLineEnds(const std::string& text, const char* stream) {
  if (!GetSettings().windows) return text;
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      ADD_FAILURE() << "line end without \\r at byte " << i << " of " << stream;
    }
    folded.push_back(text[i]);
  }
  return folded;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

void E2eTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "qev-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
  dir_ = pattern;
  previousDir_ = fs::current_path().string();
  fs::current_path(dir_);
}

void E2eTest::TearDown() {
  if (dir_.empty()) return;
  fs::current_path(previousDir_);
  std::error_code ec;
  // Files a test made read-only must not stop the clean-up.
  for (const auto& entry : fs::recursive_directory_iterator(dir_, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(dir_, ec);
}

RunResult E2eTest::Qev(const std::vector<std::string>& args) const {
  // Files take the output, so a chatty run cannot fill a pipe and block.
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunResult result;
  if (out == nullptr || err == nullptr) {
    ADD_FAILURE() << "cannot make temporary files";
    return result;
  }
  const std::string script = "exec " + GetSettings().qevCommand + " \"$@\"";
  std::vector<const char*> argv = {"/bin/sh", "-c", script.c_str(), "qev"};
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    alarm(120);  // a pending alarm survives exec: a hanging run is killed
    execv("/bin/sh", const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (child > 0 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = SlurpFile(out);
  result.err = SlurpFile(err);
  result.out = FoldLineEnds(result.out, "standard output");
  result.err = FoldLineEnds(result.err, "standard error");
  std::fclose(out);
  std::fclose(err);
  return result;
}

void E2eTest::WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "cannot write " << name;
}

std::string E2eTest::ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool E2eTest::Exists(const std::string& name) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(name, ec));
}

void E2eTest::MakeDir(const std::string& name) { fs::create_directories(name); }

std::uint64_t E2eTest::ModTime(const std::string& name) {
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) {
    ADD_FAILURE() << "cannot stat " << name;
    return 0;
  }
  return static_cast<std::uint64_t>(st.st_mtim.tv_sec + kEpochDifference) * 10000000u +
         static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100u;
}

void E2eTest::SetModTime(const std::string& name, std::uint64_t filetime) {
  const auto seconds = static_cast<std::int64_t>(filetime / 10000000u) - kEpochDifference;
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(filetime % 10000000u) * 100;
  ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), times, 0), 0) << std::strerror(errno);
}

void E2eTest::SetReadOnly(const std::string& name, bool readOnly) {
  const auto writeBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (readOnly) {
    fs::permissions(name, writeBits, fs::perm_options::remove);
  } else {
    fs::permissions(name, fs::perms::owner_write, fs::perm_options::add);
  }
}

}  // namespace qev::e2e

// The driver's own main: GoogleTest takes its flags, then ours follow.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto& settings = qev::e2e::MutableSettings();
#ifdef QEV_DEFAULT_COMMAND
  settings.qevCommand = QEV_DEFAULT_COMMAND;
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--qev=", 0) == 0) {
      settings.qevCommand = arg.substr(6);
    } else if (arg == "--windows") {
      settings.windows = true;
    } else {
      std::fprintf(stderr, "unknown argument: %s\nusage: %s [--qev=COMMAND] [--windows]\n", argv[i],
                   argv[0]);
      return 2;
    }
  }
  if (settings.qevCommand.empty()) {
    std::fprintf(stderr, "no qev command: pass --qev=COMMAND\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}

#include "harness.h"

#include <pty.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace qev::e2e {
namespace {

std::string qevCommand = QEV_DEFAULT_COMMAND;  // a shell word list
bool windows = false;

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;  // 100 ns
constexpr Ticks kEpochDifference = std::chrono::seconds(11644473600);        // 1601 to 1970

// Appends word to command as one shell word, in single quotes.
void AppendQuoted(std::string& command, const std::string& word) {
  command += '\'';
  for (const char c : word) c == '\'' ? command.append("'\\''") : command.append(1, c);
  command += '\'';
}

// The Windows build writes in text mode: a "\n" without its "\r" bypassed it.
std::string FoldLineEnds(const std::string& text) {
  if (!windows) return text;
  std::string folded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ADD_FAILURE() << "bare \\n at " << i;
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') folded += text[i];
  }
  return folded;
}

// The exit status: 0 for l, x, c3, c4; else 1 if a line reports a failure.
int ExpectedStatus(const Names& args, const std::string& out) {
  std::string word = args.empty() ? "" : args[0];
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (args.size() < 2 || word == "l" || word == "x" || word == "c3" || word == "c4") return 0;
  static const char* const kFailures[] = {
      " ...checksum error", " ...size error", " ...write error", " ...too large", " ...cannot open",
      " ...cut short", " ...lost", " ...not found", "\nwrite error\n",
      // a and d: a line of its own that says why the archive was not changed.
      ", archive left as it is\n", "\ncannot open the archive\n",
      "\nan archive changed in place must be a file"};
  for (const char* failure : kFailures)
    if (out.find(failure) != std::string::npos) return 1;
  // r also fails when no layout reads the archive or its table is not whole.
  for (const char* damage : {"\nlayout: none", ", table partial\n", ", table missing\n"})
    if (word == "r" && out.find(damage) != std::string::npos) return 1;
  const bool onlyEcho = out.find('\n') == out.size() - 1 && out.rfind("command: ", 0) == 0;
  return word == "t" && onlyEcho ? 1 : 0;
}

}  // namespace

// In memory where it can be (the large cases need about 300 MB there).
void E2eTest::SetUp() {
  std::error_code error;
  const bool inMemory = fs::space("/dev/shm", error).available > (std::uintmax_t{1} << 30);
  const fs::path base = inMemory && !error ? "/dev/shm" : fs::temp_directory_path();
  previousDir_ = fs::current_path().string();
  dir_ = (base / "qev-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir_.data()), nullptr);
  fs::current_path(dir_);
}

void E2eTest::TearDown() {
  if (dir_.empty()) return;
  fs::current_path(previousDir_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
  fs::remove(dir_ + ".err", ec);
  fs::remove(dir_ + ".in", ec);
  fs::remove_all(dir_ + ".gcov", ec);
}

namespace {

// Where the pipe's read end waits for the command that reads it.
constexpr int kPipeFd = 9;

// A child writing bytes slowly into a pipe (or socket) read at kPipeFd.
pid_t StartWriter(const std::string& bytes, bool socket) {
  int ends[2];
  if ((socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, ends) : pipe(ends)) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    std::signal(SIGPIPE, SIG_DFL);
    for (std::size_t at = 0, n = 0; at < bytes.size(); ++n) {
      const std::size_t piece = std::min(bytes.size() - at, 1 + n * 61 % 4001);
      if (write(ends[1], bytes.data() + at, piece) <= 0) _exit(0);
      at += piece;
      if (n % 16 == 15) usleep(200);
    }
    _exit(0);
  }
  close(ends[1]);
  dup2(ends[0], kPipeFd);
  close(ends[0]);
  return child;
}

}  // namespace

std::string E2eTest::CommandLine(const Names& args, const std::string& before,
                                 bool privileged) const {
  std::string command = before + " exec ";
  // Without the capabilities that let root pass over permission bits.
  if (!privileged && geteuid() == 0)
    command.append("setpriv --bounding-set -dac_override,-dac_read_search,-fowner ");
  command.append("timeout 120 ").append(qevCommand);
  for (const std::string& arg : args) AppendQuoted(command += ' ', arg);
  return command;
}
E2eTest::Run E2eTest::QevRun(const Names& args, const std::string& before,
                             const std::string& after) const {
  Run run{"", "", -1};
  std::string command = CommandLine(args, before) + " </dev/null " + after + " 2>";
  AppendQuoted(command, dir_ + ".err");
  run.out = RunShellCommand(command, &run.status);
  run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  run.err = FoldLineEnds(ReadFile(dir_ + ".err"));
  return run;
}

std::string E2eTest::QevOnTerminal(const Names& args, const std::string& before,
                                   const std::string& after) const {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    const std::string command = CommandLine(args, before) + " " + after;
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string out;
  char chunk[4096];
  for (ssize_t got; child > 0 && (got = read(terminal, chunk, sizeof chunk)) > 0;)
    out.append(chunk, static_cast<std::size_t>(got));
  if (child > 0) waitpid(child, nullptr, 0);
  if (terminal >= 0) close(terminal);
  return out;
}

std::string E2eTest::Qev(const Names& args, const std::string& limit, const std::string& input,
                         Input way, bool privileged) const {
  const bool inputFile = way == kFile;
  std::string command;  // a file size limit does not cut the output pipe short
  if (!limit.empty()) command.append("trap '' XFSZ; ulimit ").append(limit).append(" && ");
  // Coverage counters, cut short below 64 KiB, go to a scratch directory.
  if (limit.starts_with("-f ") && std::stoul(limit.substr(3)) < 64) {
    AppendQuoted(command.append("GCOV_PREFIX="), dir_ + ".gcov");
    command += ' ';
  }
  command = CommandLine(args, command, privileged);
  if (input.empty() || inputFile) {
    if (inputFile) WriteFile(dir_ + ".in", input);
    AppendQuoted(command += " <", input.empty() ? "/dev/null" : dir_ + ".in");
  } else {
    command += " <&" + std::to_string(kPipeFd);
  }
  command += " 2>";
  AppendQuoted(command, dir_ + ".err");
  std::string out;
  int status = -1;
  // Wine now and then fails to start a process: twice is reported.
  for (int attempt = 0; attempt < (windows ? 2 : 1); ++attempt) {
    const pid_t writer = input.empty() || inputFile ? -1 : StartWriter(input, way == kSocket);
    out = RunShellCommand(command, &status);
    if (writer > 0) close(kPipeFd), waitpid(writer, nullptr, 0);
    if (status == 0 || !out.empty() || !ReadFile(dir_ + ".err").empty()) break;
    std::printf("no output and status %d from %s\n", status, command.c_str());
  }
  EXPECT_TRUE(WIFEXITED(status)) << status << " from " << command;
  EXPECT_EQ(WEXITSTATUS(status), ExpectedStatus(args, FoldLineEnds(out))) << command;
  // Nothing on standard error but coverage complaints, the last maybe cut.
  std::string errors;
  std::istringstream lines(ReadFile(dir_ + ".err"));
  const std::string_view gcov = "libgcov profiling error:";
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with(gcov) && !(gcov.starts_with(line) && !line.empty()))
      errors += line + "\n";
  EXPECT_EQ(errors, "") << command;
  return FoldLineEnds(out);
}

std::string E2eTest::RunShellCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    out.append(chunk, got);
  const int ended = pclose(pipe);
  if (status != nullptr) *status = ended;
  return out;
}

bool E2eTest::IsWindows() { return windows; }
const std::string& E2eTest::Command() { return qevCommand; }

bool E2eTest::MemoryLimitApplies() {
#ifdef __SANITIZE_ADDRESS__
  return false;
#endif
  return !windows;
}

Names E2eTest::Listing() {
  Names names;
  for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void E2eTest::WriteFile(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(std::ofstream(name, std::ios::binary) << bytes) << name;
}

std::string E2eTest::ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::uint64_t E2eTest::ModTime(const std::string& name) {
  const auto time = std::chrono::file_clock::to_sys(fs::last_write_time(name));
  return (std::chrono::floor<Ticks>(time.time_since_epoch()) + kEpochDifference).count();
}

void E2eTest::SetModTime(const std::string& name, std::uint64_t filetime) {
  const std::chrono::sys_time<Ticks> time(Ticks(filetime) - kEpochDifference);
  fs::last_write_time(name, std::chrono::file_clock::from_sys(time));
}

}  // namespace qev::e2e

// GoogleTest takes its flags first; ours follow.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--qev=")) {
      qev::e2e::qevCommand = arg.substr(6);
    } else if (arg == "--windows") {
      qev::e2e::windows = true;
    } else {
      std::fprintf(stderr, "usage: %s [--qev=COMMAND] [--windows]\n", argv[0]);
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}

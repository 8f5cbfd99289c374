// Runs qev under shell resource limits, for the cases where memory or the
// room for a file must run out. Only the native build can be limited this
// way: a limited Windows build would take its emulator down with it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace qev::e2e {

class LimitedRunTest : public E2eTest {
 protected:
  // Skips the test where limits cannot apply: under the emulator, and in
  // sanitizer builds, which reserve far more address space than they use.
  static bool LimitsApply() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    return !IsWindows();
  }

  // Runs qev with args after the shell's ulimit options, e.g. "-v 262144"
  // (address space in KiB) or "-f 64" (file size in the shell's blocks).
  // Exceeding the file size limit makes writes fail instead of ending qev.
  // Returns standard output.
  static std::string QevLimited(const std::string& limit, const std::vector<std::string>& args) {
    std::string command = "trap '' XFSZ; ulimit " + limit + " && exec " + GetSettings().qevCommand;
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " 2>/dev/null </dev/null";
    // A pipe, not a file, takes the output, so the file size limit cannot
    // cut it short.
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    if (pipe == nullptr) {
      ADD_FAILURE() << "cannot run " << command;
      return out;
    }
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return out;
  }
};

}  // namespace qev::e2e

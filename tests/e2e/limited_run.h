// Runs qev under shell resource limits, for the cases where memory or room
// for a file must run out.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace qev::e2e {

class LimitedRunTest : public E2eTest {
 protected:
  // An address-space limit takes effect only in native builds without
  // sanitizers: those reserve far more address space than they use, and
  // wine serves the Windows build's allocations from address space that it
  // reserved at its start, out of the limit's reach. A file-size limit
  // applies to every build.
  static bool MemoryLimitApplies() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    return !IsWindows();
  }

  // Runs qev after "ulimit <limit>" (e.g. -v in KiB, -f in 512-byte
  // blocks); past the file size limit writes fail instead of ending qev.
  // The output comes through a pipe, which the limit does not cut short.
  static std::string QevLimited(const std::string& limit, const std::vector<std::string>& args) {
    std::string command = "trap '' XFSZ; ulimit " + limit + " && exec " + GetSettings().qevCommand;
    for (const std::string& arg : args) command += " '" + arg + "'";
    std::FILE* pipe = popen((command + " 2>/dev/null </dev/null").c_str(), "r");
    std::string out;
    char chunk[4096];
    for (std::size_t got;
         pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
      out.append(chunk, got);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
    return FoldLineEnds(out, "standard output");
  }
};

}  // namespace qev::e2e

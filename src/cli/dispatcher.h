// The program's control flow above the archive operations.
#pragma once

namespace qev {

// Parses the command line, echoes the command and runs it. Returns the
// process's exit status: always 0 for l, x, c3 and c4, for the usage line,
// --help and --version; for the commands qev
// adds, 1 when any line reported a failure (or, for t, no archive could be
// read), else 0.
int RunCommand(int argc, const char* const* argv);

}  // namespace qev

// The program's control flow above the archive operations.
#pragma once

namespace qev {

// Parses the command line, echoes the command and runs it.
void RunCommand(int argc, const char* const* argv);

}  // namespace qev

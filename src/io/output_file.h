// Writing one extracted member to disk.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Writes all of data to a new file, stamps it with *time when time is not
// null, closes it and gives it the name name, replacing a file of that name
// that may be deleted (see platform::DeletePath). Returns true only when
// every byte was written and the file closed and named; otherwise nothing
// is left of the new file and an older file called name is unchanged. A
// failed time stamp alone is not a failure.
bool WriteOutputFile(const std::string& name, const ByteBuffer& data, const FILETIME* time);

}  // namespace qev

#include "io/output_file.h"

namespace qev {
bool WriteOutputFile(const std::string&, const ByteBuffer&, const FILETIME*) { return false; }
}  // namespace qev

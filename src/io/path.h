// File-name rules shared by creation and extraction.
#pragma once

#include <string>

namespace qev {

// The name after the last directory separator of path ('/' on POSIX; '/'
// or '\' on Windows): what creation stores for an input named by path.
std::string BareName(const std::string& path);

// True when name can be written as a file of the current directory and
// nowhere else: one plain component, not empty, not "." or "..", no '/' or
// '\', nothing absolute, and nothing the platform treats as a device or a
// stream (see platform::IsDeviceOrStreamName).
bool IsSafeMemberName(const std::string& name);

}  // namespace qev

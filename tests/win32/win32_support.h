// Helpers of the Windows backend tests (no Windows declarations here).
#pragma once

#include <filesystem>
#include <string>

namespace orn::test {

// A file name for the standard library's streams, which take wide names on Windows.
std::filesystem::path WidePath(const std::string& Utf8);
// A new, empty folder under the system's temporary folder; its name has non-ASCII letters.
std::string MakeTempFolder();
// The whole content of a file, or "" when it cannot be read.
std::string ReadFile(const std::string& Utf8Path);

}  // namespace orn::test

// Whole files as byte strings, for tests.
#pragma once

#include <string>

namespace zv::test {

// The whole content of a file, or "(missing)".
std::string ReadFile(const std::string& path);
// Writes `text` to a file, replacing it.
void WriteFile(const std::string& path, const std::string& text);

}  // namespace zv::test

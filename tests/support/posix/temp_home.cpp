#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace zv::test {

TempHome::TempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zv-home-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = buffer.data();
  SetEnvironment("HOME", path_.c_str());
  SetEnvironment("XDG_CONFIG_HOME", (path_ + "/.config").c_str());
}

TempHome::~TempHome() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void SetEnvironment(const char* name, const char* value) {
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

}  // namespace zv::test

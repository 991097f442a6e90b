// A private home folder for one test process, so settings tests never touch
// the real user's files.
#pragma once

#include <string>

namespace zv::test {

// Creates a fresh folder and points HOME and XDG_CONFIG_HOME into it; the
// folder is removed again on destruction.
class TempHome {
 public:
  TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  TempHome(TempHome&&) = delete;
  TempHome& operator=(TempHome&&) = delete;
  ~TempHome();

  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets or (with nullptr) removes an environment variable.
void SetEnvironment(const char* name, const char* value);

}  // namespace zv::test

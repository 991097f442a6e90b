// One key of a settings file, for tests that check what was written.
#pragma once

#include <string>

#include "platform/profile_file.h"

namespace zv::test {

// The value of `key` in `section`, as the settings store reads it.
inline std::string ReadProfileString(const std::string& path, const char* section, const char* key,
                                     const std::string& fallback) {
  return platform::ReadProfileStrings(platform::NativePath{path}, section, {{key, fallback}})
      .front();
}

}  // namespace zv::test

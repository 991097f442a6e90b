// Small helpers of the long fault tests: counts taken from the environment
// and the process's open descriptors.
#pragma once

#include <cstdlib>
#include <filesystem>

namespace zv::test {

// The number in the environment variable `name`, else `fallback`.
inline long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value == nullptr ? fallback : std::strtol(value, nullptr, 10);
}

// How many descriptors this process has open.
inline int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace zv::test

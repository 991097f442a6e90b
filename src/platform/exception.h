// The plugin's one error type.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace zv {

// An error raised inside the plugin. The message is the exact text the host
// receives: 8-bit Windows-1251 bytes.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  [[nodiscard]] const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace zv

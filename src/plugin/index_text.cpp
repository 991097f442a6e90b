#include "plugin/index_text.h"

#include <limits>
#include <string>

#include "platform/exception.h"

namespace zv::plugin {
namespace {

[[noreturn]] void RaiseNotAnInteger(const char* text) {
  std::string message = "'";
  message += text;
  message += "' is not a valid integer value";
  throw Exception(std::move(message));
}

}  // namespace

std::int32_t StrToInt(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') {
    ++p;
  }
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') {
    ++p;
  }
  if (*p < '0' || *p > '9') {
    RaiseNotAnInteger(text);
  }
  // Accumulate the magnitude; the limit allows the one extra unit of the
  // negative range.
  const std::int64_t limit =
      negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
               : std::numeric_limits<std::int32_t>::max();
  std::int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) {
      RaiseNotAnInteger(text);
    }
  }
  if (*p != '\0') {
    RaiseNotAnInteger(text);
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace zv::plugin

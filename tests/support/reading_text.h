// The display text of one word of the block, per kind, for tests.
#pragma once

#include <cstdint>
#include <string>

#include "readings/reading_formatter.h"

namespace zv::test {

// Text of a temperature or voltage word.
inline std::string FormatHundredths(std::int32_t word) {
  std::string text;
  readings::FormatWord(readings::ReadingKind::Temperature, word, text);
  return text;
}

// Text of a fan word.
inline std::string FormatFanSpeed(std::int32_t word) {
  std::string text;
  readings::FormatWord(readings::ReadingKind::Fan, word, text);
  return text;
}

}  // namespace zv::test

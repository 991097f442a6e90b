// Turns one sensor reading into the text shown on the display.
#pragma once

#include <cstdint>
#include <string>

#include "monitor_block/layout.h"

namespace zv::readings {

// Message of the error raised for an index outside 0..31.
inline constexpr const char* kIndexErrorMessage =
    "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5 Index \xE4\xEE\xEB\xE6\xED\xEE \xE1\xFB\xF2\xFC \xE2 "
    "\xEF\xF0\xE5\xE4\xE5\xEB\xE0\xF5 0 - 31 !!!";

// Validates `index` (raises Exception outside 0..31), connects to the
// monitor's memory if needed and formats the live reading into `text`. When
// the memory is unavailable, or no longer holds the word (shrunk by another
// process), `text` is left as it came in.
void FormatReading(ReadingKind kind, std::int32_t index, std::string& text);

// Puts the text of one word of the block into `text`. Temperature and
// voltage words are hundredths scaled by 65536, shown as whole units, halves
// rounded away from zero, never "-0"; fan words are RPM scaled by 65536,
// truncated toward zero.
void FormatWord(ReadingKind kind, std::int32_t word, std::string& text);

}  // namespace zv::readings

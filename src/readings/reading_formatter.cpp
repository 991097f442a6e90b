#include "readings/reading_formatter.h"

#include <array>
#include <charconv>

#include "platform/exception.h"
#include "readings/monitor_memory.h"
#include "state/module_state.h"

namespace zv::readings {
namespace {

constexpr std::int64_t kHundredths = 100;

void WriteInteger(std::int64_t value, std::string& text) {
  std::array<char, 24> digits{};
  char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  text.assign(digits.data(), end);
}

// The reading a word carries, in the whole units shown.
std::int64_t Decode(Scaling scaling, std::int32_t word) {
  switch (scaling) {
    case Scaling::Whole:
      return word / kWordScale;  // truncates toward zero
    case Scaling::Hundredths:
      break;
  }
  // reading = word / 65536 / 100, shown with no decimals, halves away from
  // zero. Done in integers: the result equals dividing in extended floating
  // point and rounding, because a half is exact there and every other
  // reading lies at least 1/6553600 away from one, far beyond the rounding
  // error of a 64-bit mantissa. Integer division also never yields "-0".
  constexpr std::int64_t kScale = std::int64_t{kWordScale} * kHundredths;
  const std::int64_t scaled = word;
  return (scaled >= 0 ? scaled + kScale / 2 : scaled - kScale / 2) / kScale;
}

}  // namespace

void FormatWord(ReadingKind kind, std::int32_t word, std::string& text) {
  WriteInteger(Decode(RegionOf(kind).scaling, word), text);
}

void FormatReading(ReadingKind kind, std::int32_t index, std::string& text) {
  if (index < 0 || index >= static_cast<std::int32_t>(kSensorCount)) {
    throw Exception(kIndexErrorMessage);
  }
  if (!MapMonitorMemory()) {
    return;
  }
  // A word the object no longer holds (it was shrunk under us) is no
  // reading, as when the monitor is absent.
  std::int32_t word = 0;
  const ReadingRegion& region = RegionOf(kind);
  if (!ReadMonitorWord(region.offset + kWordSize * static_cast<std::size_t>(index), word)) {
    return;
  }
  WriteInteger(Decode(region.scaling, word), text);
}

}  // namespace zv::readings

#include "plugin/get_value.h"

#include <cstring>

#include "platform/exception.h"
#include "platform/host_memory.h"
#include "plugin/index_text.h"
#include "readings/monitor_memory.h"
#include "readings/reading_formatter.h"
#include "state/module_state.h"
#include "zelvane_info.h"

namespace zv::plugin {

namespace {

char* CopyForHost(const std::string& text) {
  char* buffer = platform::AllocateHostBuffer(State().Allocator, text.size() + 1);
  if (buffer == nullptr) {
    throw Exception("Out of memory");
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

}  // namespace

char* GetValue(std::int32_t code, const char* param) {
  const std::int32_t index = param != nullptr ? StrToInt(param) : 0;
  const auto macro = static_cast<std::int16_t>(static_cast<std::uint16_t>(code & 0xFFFF));
  std::string text;  // short texts stay in the string's inline buffer
  switch (macro) {
    case ZV_MACRO_RESET:
      break;
    case ZV_MACRO_CHECK:
      // Connects as a reading does: a host that asks only for the condition
      // while it answers "#skip" must still see the monitor arrive.
      text = readings::MapMonitorMemory() ? "" : "#skip";
      break;
    default: {
      // Temp, Fan and Volt: the region their code names.
      const readings::ReadingRegion* region = readings::RegionOfMacro(macro);
      if (region == nullptr) {
        return CopyForHost(State().LastValue);
      }
      readings::FormatReading(region->kind, index, text);
      break;
    }
  }
  std::string& last = State().LastValue;
  last = text;
  return CopyForHost(last);
}

}  // namespace zv::plugin

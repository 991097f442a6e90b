// Conversion of the index text the host passes to GetValue.
#pragma once

#include <cstdint>

namespace zv::plugin {

// Converts a sensor index text to a 32-bit integer: optional leading blanks
// (space, tab), an optional sign, then decimal digits up to the end of the
// text. Anything else, or a value outside the 32-bit range, raises Exception
// with the message "'<text>' is not a valid integer value".
std::int32_t StrToInt(const char* text);

}  // namespace zv::plugin

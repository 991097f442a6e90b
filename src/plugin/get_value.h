// GetValue: the text of one macro occurrence.
#pragma once

#include <cstdint>
#include <string>

namespace zv::plugin {

// Text of the most recent successful request with a code from -1 to 3.
extern std::string LastValue;

// Serves one value request: converts the index text (null means 0),
// dispatches on the sign-extended low 16 bits of `code` and returns a fresh
// host-owned copy of LastValue. Raises Exception for a bad index text or an
// index outside 0..31, leaving LastValue as it was.
char* GetValue(std::int32_t code, const char* param);

}  // namespace zv::plugin

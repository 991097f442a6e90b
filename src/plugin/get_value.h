// GetValue: the text of one macro occurrence.
#pragma once

#include <cstdint>

namespace zv::plugin {

// Serves one value request: converts the index text (null means 0),
// dispatches on the sign-extended low 16 bits of `code` and returns a fresh
// host-owned copy of the module state's LastValue, the text of the most
// recent successful request with a code from -1 to 3. Raises Exception for a
// bad index text or an index outside 0..31, leaving LastValue as it was.
char* GetValue(std::int32_t code, const char* param);

}  // namespace zv::plugin

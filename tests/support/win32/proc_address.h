// GetProcAddress with the function type the caller knows the export has.
#pragma once

#include <windows.h>

namespace zv::test {

// Returns the export `name` of `module` as a `Func`, or null.
template <typename Func>
Func ProcAddress(HMODULE module, const char* name) {
  // GetProcAddress returns an untyped function pointer; going through
  // void (*)() tells the compiler the cast is meant.
  return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace zv::test

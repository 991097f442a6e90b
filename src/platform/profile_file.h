// Keys of INI ("profile") files, read and written one at a time, with the
// semantics of the Windows profile functions: a missing file, section or key
// reads as the default; a write creates the file and section when needed and
// leaves the rest of the file as it was.
#pragma once

#include <string>

namespace zv::platform {

// Returns the value of `key` in `section` of the file at `path`, blanks
// around it removed, or `fallback` when the file, section or key is missing.
// Raises Exception when the file exists but cannot be read.
std::string ReadProfileString(const std::string& path, const char* section, const char* key,
                              const std::string& fallback);

// Sets `key` in `section` of the file at `path` to `value` (one line; the
// caller refuses line breaks). The file is replaced as a whole, so it is
// never left half written. Raises Exception when it cannot be written.
void WriteProfileString(const std::string& path, const char* section, const char* key,
                        const std::string& value);

}  // namespace zv::platform

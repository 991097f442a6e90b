// Keys of INI ("profile") files, with the semantics of the Windows profile
// functions: a missing file, section or key reads as the default; a write
// creates the file and section when needed and leaves the rest of the file as
// it was.
#pragma once

#include <string>
#include <vector>

#include "platform/text.h"

namespace zv::platform {

// A key of a section and a text: the fallback when reading, the new value
// when writing. Names and values are the plugin's 1251 text, stored as they
// are; a value never holds a line break (the settings store refuses one).
struct ProfileEntry {
  const char* key;
  std::string value;
};

// Returns the value of each entry's key in `section` of the file at `path`,
// in the entries' order, blanks around it removed, or the entry's fallback
// when the file, section or key is missing. All keys come from one reading
// of the file. Raises Exception when something is in the file's place that
// cannot be read as a settings file; the message names the path as 1251 text.
std::vector<std::string> ReadProfileStrings(const NativePath& path, const char* section,
                                            const std::vector<ProfileEntry>& entries);

// Sets each entry's key in `section` of the file at `path`, in the entries'
// order, each value on its own line. Raises Exception when the file cannot
// be written (the message names the path as 1251 text). On POSIX the
// file is replaced once, as a whole, holding every entry: it is always
// wholly old or wholly new. The Windows profile functions rewrite it in
// place, one key after the other.
void WriteProfileStrings(const NativePath& path, const char* section,
                         const std::vector<ProfileEntry>& entries);

}  // namespace zv::platform

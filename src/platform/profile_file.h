// Keys of INI ("profile") files, with the semantics of the Windows profile
// functions: a missing file, section or key reads as the default; a write
// creates the file and section when needed and leaves the rest of the file as
// it was.
#pragma once

#include <string>
#include <vector>

namespace zv::platform {

// A key of a section and a text: the fallback when reading, the new value
// when writing.
struct ProfileEntry {
  const char* key;
  std::string value;
};

// Returns the value of each entry's key in `section` of the file at `path`,
// in the entries' order, blanks around it removed, or the entry's fallback
// when the file, section or key is missing. All keys come from one reading
// of the file. Raises Exception when something is in the file's place that
// cannot be read as a settings file.
std::vector<std::string> ReadProfileStrings(const std::string& path, const char* section,
                                            const std::vector<ProfileEntry>& entries);

// Sets each entry's key in `section` of the file at `path`, in the entries'
// order (each value one line; a line break is refused before anything is
// written). Raises Exception when the file cannot be written. On POSIX the
// file is replaced once, as a whole, holding every entry: it is always
// wholly old or wholly new. The Windows profile functions rewrite it in
// place, one key after the other.
void WriteProfileStrings(const std::string& path, const char* section,
                         const std::vector<ProfileEntry>& entries);

}  // namespace zv::platform

// Reading and editing one key of an INI file's text, with no I/O, for the
// POSIX profile-file backend (and its fuzz target). An edit changes only the
// key's own line, or adds it (and its section), and keeps every other byte.
// Every operation is a pass or two over the text, keeping no record per line, so
// time and memory stay in proportion to the text's size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// Returns the value of `key` in `section`, blanks around it removed, or
// nothing when the section or key is absent. Names compare without regard to
// ASCII case and blanks around them; the first matching line counts.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// Sets `key` in `section` to `value` in `text`: rewrites the value part of
// the line FindProfileValue reads, else adds "key=value" after the section's
// last non-blank line, else adds the section at the end. New lines take the
// file's line ending. Returns false, leaving `text` as it was, when the
// value holds a line break or the names cannot be written as a header and
// key.
bool SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace zv::platform

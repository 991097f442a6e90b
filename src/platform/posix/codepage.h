// Conversion between the plugin's Windows-1251 texts and the UTF-8 that the
// Linux toolkit and file system use. Only the POSIX backend converts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// Returns the UTF-8 form of a Windows-1251 text. The one byte 1251 leaves
// unassigned (0x98) becomes U+FFFD.
std::string Windows1251ToUtf8(std::string_view text);

// Returns the Windows-1251 form of a UTF-8 text, or nullopt when the text
// holds a character that 1251 cannot represent or is not valid UTF-8.
std::optional<std::string> Utf8ToWindows1251(std::string_view text);

// The same for text shown in a message: a character 1251 lacks, and a byte
// that is no character (not valid UTF-8), each become '?'.
std::string Utf8ToWindows1251Lossy(std::string_view text);

}  // namespace zv::platform

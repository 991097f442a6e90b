// Windows-1251, the plugin's 8-bit text, to and from UTF-8 (what Linux, its
// terminals, FLTK and LCDd take). A table rather than iconv: the same on
// every platform, Windows included, and it cannot fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::common {

// Returns the UTF-8 form of a Windows-1251 text. The one byte the code page
// leaves undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

// Returns the Windows-1251 byte of a Unicode code point, or nullopt for one
// the code page lacks.
std::optional<char> Cp1251FromCodePoint(std::uint32_t code_point);

// Returns the Windows-1251 form of a UTF-8 text, or nullopt when the text
// holds a character that 1251 cannot represent or is not valid UTF-8.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

// The same for text shown in a message: a character 1251 lacks, and a byte
// that is no character (not valid UTF-8), each become '?'.
std::string Utf8ToCp1251Lossy(std::string_view text);

}  // namespace zv::common

// Conversion of the plugin's Windows-1251 texts for a UTF-8 terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::host {

// Returns the UTF-8 form of a Windows-1251 text. The one byte the code page
// leaves undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

// Returns the Windows-1251 byte of a Unicode code point, or nullopt for one
// the code page lacks.
std::optional<char> Cp1251FromCodePoint(std::uint32_t code_point);

}  // namespace zv::host

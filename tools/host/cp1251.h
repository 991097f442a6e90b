// Conversion of the plugin's Windows-1251 texts for a UTF-8 terminal.
#pragma once

#include <string>
#include <string_view>

namespace zv::host {

// Returns the UTF-8 form of a Windows-1251 text. The one byte the code page
// leaves undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace zv::host

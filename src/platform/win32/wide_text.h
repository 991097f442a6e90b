// Conversion between the plugin's Windows-1251 texts and the UTF-16 of the
// Windows wide-character API, so that Russian texts read right whatever the
// system's ANSI code page. Only the Win32 backend converts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

// Returns the UTF-16 form of a Windows-1251 text.
std::wstring WideFromWindows1251(std::string_view text);

// Returns the Windows-1251 form of a UTF-16 text, or nullopt when it holds a
// character that 1251 cannot represent (no look-alike is substituted).
std::optional<std::string> Windows1251FromWide(std::wstring_view text);

// Returns the Windows-1251 form of a UTF-16 text for a message: a character
// 1251 lacks becomes '?'.
std::string Windows1251FromWideLossy(std::wstring_view text);

// Returns the system's description of a Win32 error code as Windows-1251
// text (see Windows1251FromWideLossy), without the closing period and line
// break.
std::string SystemErrorText(unsigned long code);

}  // namespace zv::platform

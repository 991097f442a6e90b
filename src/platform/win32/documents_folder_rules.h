// Rules of the Windows documents folder that need no more than the code
// page's tables: how its path is trimmed, and which errors mean that its
// place cannot be reached.
#pragma once

#include <string>

namespace zv::platform {

// The folder without a separator at its end, as the caller puts one before
// the file name: a drive's root ("C:\" gives "C:"), and, under Wine, every
// folder the shell names. In a double-byte code page (`code_page`, such as
// Shift-JIS, 932) 0x5C, the backslash, is also the second byte of many
// characters: such a character is never cut, only a separator that is a
// character of its own.
std::string WithoutTrailingSeparator(std::string folder, unsigned code_page);

// Whether the shell's path is one the file functions can take as it is: a
// drive's ("C:\...") or a share's ("\\server\share...").
bool IsFullPath(const std::string& folder);

// Whether a Win32 error met on a path means that nothing can be found there
// now: a missing file or folder, a drive that does not exist or is not
// ready, a network share or host that cannot be reached. A file that is
// there but cannot be opened (no access, a folder) is none of these.
bool IsUnreachablePathError(unsigned long error);

}  // namespace zv::platform

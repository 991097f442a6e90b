// Where the running host program lies, so that it finds the plugin module
// installed beside it. One backend per platform (host/<os>/program_path.cpp).
#pragma once

#include <string>

namespace zv::host {

// The folder of the running program's file with the system's separator at
// its end ("/usr/bin/", "C:\\Tools\\"), or "" when the system does not say.
std::string ProgramFolder();

}  // namespace zv::host

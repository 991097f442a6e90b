// Where the plugin's two settings are kept: the INI file named after the
// host, in the user's documents folder, and the plugin's section and keys
// in it. The settings store, the tests and the tools that prepare a file
// take the names from here.
#pragma once

namespace zv::settings {

// The file's name; the documents folder and a separator come before it.
inline constexpr const char* kIniFileName = "Lumora3.ini";
// The plugin's section; the host and other plugins own the rest of the file.
inline constexpr const char* kIniSection = "ZV4";
// "Try to run": written "1" or "0"; an integer text other than 0 reads as on.
inline constexpr const char* kTryToRunKey = "Try to run";
// "Path": the monitor's executable, 1251 text as the user gave it.
inline constexpr const char* kPathKey = "Path";

}  // namespace zv::settings

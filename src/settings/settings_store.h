// The plugin's two settings and their place in the host's INI file.
#pragma once

#include <string>

namespace zv::settings {

// Launch the monitor when its memory is absent.
extern bool TryToRun;
// Full path of the monitor's executable, Windows-1251 text as the user gave it.
extern std::string MonitorPath;

// Path of the INI file: the user's documents folder, then "Lumora3.ini".
// Computed afresh on every call.
std::string IniFilePath();

// Sets TryToRun and MonitorPath from the file; missing file, section or keys
// give false and "".
void LoadSettings();

// Writes TryToRun and MonitorPath to the file, changing nothing else in it.
// Raises Exception when the file cannot be written.
void SaveSettings();

}  // namespace zv::settings

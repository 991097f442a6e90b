// The plugin's two settings and their place in the host's INI file.
#pragma once

#include <string>

#include "platform/text.h"

namespace zv::settings {

// The two settings themselves, TryToRun and MonitorPath, are in the module's
// record (state/module_state.h).

// Path of the INI file (settings_file.h): the user's documents folder, then
// the file's name. Computed afresh on every call.
platform::NativePath IniFilePath();

// Sets TryToRun and MonitorPath from one reading of the file; missing file,
// section or keys give false and "". Raises Exception when something is in
// the file's place that cannot be read as a settings file.
void LoadSettings();

// Writes TryToRun and MonitorPath to the file, changing nothing else in it,
// in one write of the file where the platform allows (see profile_file.h).
// Raises Exception when the file cannot be written, or when MonitorPath
// holds a line break (it would add lines to the file); nothing is written
// then. This is the one place that refuses a line break.
void SaveSettings();

}  // namespace zv::settings

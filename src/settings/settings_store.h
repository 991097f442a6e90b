// The plugin's two settings and their place in the host's INI file.
#pragma once

#include <string>

#include "platform/text.h"

namespace zv::settings {

// Launch the monitor when its memory is absent.
extern bool TryToRun;
// Full path of the monitor's executable, Windows-1251 text as the user gave it.
extern Text1251 MonitorPath;

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

// Reads an integer text as the host's runtime does: optional sign, then
// decimal digits, or hexadecimal ones after "0x" or "$", within 32 bits.
// Returns false for anything else.
bool ParseIniInteger(const std::string& text, long* value);

// "Try to run" as read from the file: an integer text other than 0 is true;
// anything else (empty, words, out of range) is false.
bool ParseIniBool(const std::string& text);

}  // namespace zv::settings

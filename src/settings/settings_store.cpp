#include "settings/settings_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/profile_file.h"
#include "settings/settings_file.h"
#include "state/module_state.h"

namespace zv::settings {

namespace {

// Reads an integer text as the host's runtime does: optional sign, then
// decimal digits, or hexadecimal ones after "0x" or "$", within 32 bits.
// Returns false for anything else.
bool ParseIniInteger(const std::string& text, long* value) {
  // An optional sign, then decimal digits or a hexadecimal number written
  // "0x1F" or "$1F", as the host's runtime reads integers; the profile
  // reader has already removed blanks around the value.
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 1, "$") == 0) {
    base = 16;
    i += 1;
  } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  long long result = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    result = result * base + digit;
    // Beyond 32 bits is not an integer text for the runtime either.
    if (result > 0xFFFFFFFFLL) return false;
  }
  if (base == 10 && result > (negative ? 0x80000000LL : 0x7FFFFFFFLL)) return false;
  *value = static_cast<long>(negative ? -result : result);
  return true;
}

// "Try to run" as read from the file: an integer text other than 0 is true;
// anything else (empty, words, out of range) is false.
bool ParseIniBool(const std::string& text) {
  long value = 0;
  return ParseIniInteger(text, &value) && value != 0;
}

}  // namespace

platform::NativePath IniFilePath() {
  const platform::NativePath folder = platform::DocumentsFolder();
  if (folder.empty()) {
    throw Exception("Cannot find the user's documents folder for the settings file");
  }
  // The separator and the name are ASCII, the same bytes in every encoding.
  return {folder.bytes + platform::kPathSeparator + kIniFileName};
}

void LoadSettings() {
  const std::vector<std::string> values = platform::ReadProfileStrings(
      IniFilePath(), kIniSection, {{kTryToRunKey, "0"}, {kPathKey, ""}});
  ModuleState& state = State();
  state.TryToRun = ParseIniBool(values[0]);
  state.MonitorPath = values[1];
}

void SaveSettings() {
  const ModuleState& state = State();
  const platform::NativePath path = IniFilePath();
  // A line break would start new lines (keys, sections) in a file the host
  // shares; refuse before anything is written. The profile backends rely on
  // this being checked here.
  if (state.MonitorPath.find_first_of("\r\n") != std::string::npos) {
    throw Exception("The monitor path contains a line break and cannot be saved in " +
                    platform::PathText(path));
  }
  // "Try to run", then "Path", in one write of the file.
  platform::WriteProfileStrings(
      path, kIniSection,
      {{kTryToRunKey, state.TryToRun ? "1" : "0"}, {kPathKey, state.MonitorPath}});
}

}  // namespace zv::settings

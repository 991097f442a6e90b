// STAND-IN, to be replaced by the settings store of the `settings` branch.
// Just enough for Config and its tests: $HOME/Documents/Lumora3.ini, section
// [ZV4], keys "Try to run" ("1"/"0") and "Path".
#include "settings/settings_store.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/exception.h"

namespace zv::settings {

bool TryToRun = false;
std::string MonitorPath;

namespace {

constexpr const char* kSection = "[ZV4]";

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string IniFilePath() {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/Documents/Lumora3.ini";
}

void LoadSettings() {
  TryToRun = false;
  MonitorPath.clear();
  bool in_section = false;
  for (const std::string& line : ReadLines(IniFilePath())) {
    if (!line.empty() && line.front() == '[') {
      in_section = line == kSection;
    } else if (in_section && line.rfind("Try to run=", 0) == 0) {
      TryToRun = std::atoi(line.c_str() + 11) != 0;
    } else if (in_section && line.rfind("Path=", 0) == 0) {
      MonitorPath = line.substr(5);
    }
  }
}

void SaveSettings() {
  std::vector<std::string> kept;
  bool in_section = false;
  for (const std::string& line : ReadLines(IniFilePath())) {
    if (!line.empty() && line.front() == '[') in_section = line == kSection;
    if (!in_section) kept.push_back(line);
  }
  std::ofstream out(IniFilePath(), std::ios::binary | std::ios::trunc);
  for (const std::string& line : kept) out << line << "\r\n";
  out << kSection << "\r\nTry to run=" << (TryToRun ? "1" : "0") << "\r\nPath=" << MonitorPath
      << "\r\n";
  if (!out.flush()) throw Exception("Cannot write " + IniFilePath());
}

}  // namespace zv::settings

// The host's configuration file: its screens and the settings of its LCDd
// client, in INI syntax like LCDd's own configuration. UTF-8 text:
//
//   # a comment (also ';'), on a line of its own
//   [client]
//   server = 127.0.0.1:13666      (HOST, HOST:PORT or [IPv6]:PORT)
//   charset = cp1251              (cp1251, ascii or utf-8)
//   interval-ms = 1000            (refresh period, 1..3600000)
//   plugin = /usr/lib/zelvane_info/zelvane_info.so
//
//   [screen cpu]                  (one section per screen, NAME unique)
//   duration = 4                  (seconds in the rotation, 0.125..3600)
//   line = CPU $zvTemp[0]$°C      (repeated: the screen's lines in order)
//   line = "  quoted keeps blanks, \" and \\"
//
// (The notes in parentheses are not part of the file.) Section names and
// keys are case-insensitive, screen names are not. Every
// section and key is optional, but a screen needs a line. A value is the
// text after '=' without the blanks around it, or a double-quoted text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelvane-lcd/lcdproc.h"
#include "zelvane-lcd/screen.h"

namespace zv::host {

// What a configuration file sets; unset settings are left to the command
// line and the defaults.
struct HostConfig {
  std::optional<std::string> server;  // checked by ParseServerAddress
  std::optional<DisplayCharset> charset;
  std::optional<long> interval_ms;
  std::optional<std::string> plugin;
  std::vector<ScreenSpec> screens;  // in the file's order
};

// Parses the text of the configuration file `name`. On a fault returns
// nullopt and sets `error` to "NAME:LINE: what is wrong" (the first fault).
std::optional<HostConfig> ParseHostConfig(std::string_view text, std::string_view name,
                                          std::string& error);

// Reads and parses the file at `path`: a regular file of at most 1 MiB.
// Errors name the file, and the line where there is one.
std::optional<HostConfig> LoadHostConfig(const std::string& path, std::string& error);

}  // namespace zv::host

// Written by hand rather than with Debian's libinih: that build hands its
// callback no line numbers, cuts values at " ;", strips the blanks a screen
// line may need and joins indented lines to the key before them.
#include "zelvane-lcd/config_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>

#include "common/printable.h"
#include "common/read_file.h"
#include "common/text.h"

namespace zv::host {
namespace {

constexpr std::size_t kMaxFileSize = 1U << 20U;
constexpr double kMaxDurationSeconds = 3600;
constexpr double kMinDurationSeconds = 0.125;  // LCDd counts eighths of a second

using common::AsciiLower;
using common::IsUtf8;
using common::TrimBlanks;

// Parses a value: the trimmed text, or a double-quoted one in which \" and
// \\ stand for " and \. Returns false and says why for a broken quote.
bool ParseValue(std::string_view raw, std::string& value, std::string& why) {
  raw = TrimBlanks(raw);
  if (raw.empty() || raw.front() != '"') {
    value = raw;
    return true;
  }
  value.clear();
  for (std::size_t i = 1; i < raw.size(); ++i) {
    if (raw[i] == '"') {
      if (!TrimBlanks(raw.substr(i + 1)).empty()) {
        why = "text after the closing quote";
        return false;
      }
      return true;
    }
    if (raw[i] == '\\') {
      if (i + 1 == raw.size() || (raw[i + 1] != '"' && raw[i + 1] != '\\')) {
        why = "a backslash in quotes must come before \" or \\";
        return false;
      }
      ++i;
    }
    value += raw[i];
  }
  why = "the quoted value has no closing quote";
  return false;
}

// Seconds with an optional fraction ("4", "2.5") as milliseconds.
bool ParseDuration(std::string_view text, std::chrono::milliseconds& duration) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text.front())) == 0) {
    return false;
  }
  double seconds = 0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      !(seconds >= kMinDurationSeconds && seconds <= kMaxDurationSeconds)) {
    return false;
  }
  duration = std::chrono::milliseconds(std::lround(seconds * 1000));
  return true;
}

class Parser {
 public:
  Parser(std::string_view name, std::string& error) : name_(name), error_(error) {}

  std::optional<HostConfig> Parse(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      text.remove_prefix(kByteOrderMark.size());
    }
    for (std::size_t start = 0; start < text.size(); ++line_number_) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
      }
      if (!ParseLine(line)) {
        return std::nullopt;
      }
    }
    for (const auto& [index, header_line] : screen_lines_) {
      if (config_.screens[index].lines.empty()) {
        line_number_ = header_line;
        Fail("[screen " + config_.screens[index].name + "] has no line");
        return std::nullopt;
      }
    }
    return std::move(config_);
  }

 private:
  enum class Section { kNone, kClient, kScreen };

  // The fault quotes the file's text: its control characters are escaped.
  bool Fail(const std::string& what) {
    error_ =
        std::string(name_) + ":" + std::to_string(line_number_) + ": " + common::Printable(what);
    return false;
  }

  bool ParseLine(std::string_view line) {
    if (line.find('\0') != std::string_view::npos) {
      // Everything past it would be lost where a text ends at its NUL.
      return Fail("the line holds a NUL byte");
    }
    if (!IsUtf8(line)) {
      return Fail("the line is not UTF-8 text (save the file as UTF-8)");
    }
    const std::string_view text = TrimBlanks(line);
    if (text.empty() || text.front() == '#' || text.front() == ';') {
      return true;
    }
    if (text.front() == '[') {
      return ParseSectionHeader(text);
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
      return Fail("expected \"key = value\", a [section] or a comment, found \"" +
                  std::string(text) + "\"");
    }
    const std::string key = AsciiLower(TrimBlanks(text.substr(0, equals)));
    if (key.empty()) {
      return Fail("a key is missing before '='");
    }
    std::string value;
    std::string why;
    if (!ParseValue(text.substr(equals + 1), value, why)) {
      return Fail(key + ": " + why);
    }
    switch (section_) {
      case Section::kNone:
        return Fail("\"" + key + "\" stands before any section ([client] or [screen NAME])");
      case Section::kClient:
        return ClientKey(key, value);
      case Section::kScreen:
        return ScreenKey(key, value);
    }
    return false;
  }

  bool ParseSectionHeader(std::string_view text) {
    if (text.back() != ']') {
      return Fail("a section header must end with ']'");
    }
    const std::string_view inside = TrimBlanks(text.substr(1, text.size() - 2));
    const auto blank = inside.find_first_of(" \t");
    const std::string kind = AsciiLower(inside.substr(0, blank));
    if (kind == "client" && blank == std::string_view::npos) {
      if (client_line_ != 0) {
        return Fail("a second [client] section (the first is on line " +
                    std::to_string(client_line_) + ")");
      }
      client_line_ = line_number_;
      section_ = Section::kClient;
      return true;
    }
    if (kind != "screen") {
      return Fail("unknown section [" + std::string(inside) +
                  "] (expected [client] or [screen NAME])");
    }
    const std::string name(blank == std::string_view::npos ? "" : TrimBlanks(inside.substr(blank)));
    if (name.empty()) {
      return Fail("a screen needs a name: [screen NAME]");
    }
    if (const auto [first, added] = screen_names_.try_emplace(name, line_number_); !added) {
      return Fail("a second [screen " + name + "] (the first is on line " +
                  std::to_string(first->second) + ")");
    }
    screen_lines_.emplace(config_.screens.size(), line_number_);
    config_.screens.push_back({name, {}, {}});
    section_ = Section::kScreen;
    keys_seen_.clear();
    return true;
  }

  // False (and the fault) when `key` was set before in this section.
  bool FirstTime(const std::string& key) {
    const auto [at, inserted] = keys_seen_.emplace(key, line_number_);
    return inserted || Fail(key + " is set twice in a section (also on line " +
                            std::to_string(at->second) + ")");
  }

  bool ClientKey(const std::string& key, const std::string& value) {
    if (key != "server" && key != "charset" && key != "interval-ms" && key != "plugin") {
      return Fail("unknown key \"" + key +
                  "\" in [client] (expected server, charset, interval-ms or plugin)");
    }
    if (!FirstTime(key)) {
      return false;
    }
    if (key == "server") {
      LcdprocOptions scratch;
      if (!ParseServerAddress(value, scratch)) {
        return Fail("server must be HOST, HOST:PORT or [IPv6]:PORT, not \"" + value + "\"");
      }
      config_.server = value;
    } else if (key == "charset") {
      config_.charset = ParseDisplayCharset(value);
      if (!config_.charset) {
        return Fail("charset must be cp1251, ascii or utf-8, not \"" + value + "\"");
      }
    } else if (key == "interval-ms") {
      long interval = 0;
      if (!common::ParseDecimal(value, 1, 3600000, interval)) {
        return Fail("interval-ms must be a whole number from 1 to 3600000, not \"" + value + "\"");
      }
      config_.interval_ms = interval;
    } else {
      if (value.empty()) {
        return Fail("plugin needs the path of the plugin module");
      }
      config_.plugin = value;
    }
    return true;
  }

  bool ScreenKey(const std::string& key, const std::string& value) {
    ScreenSpec& screen = config_.screens.back();
    if (key == "line") {
      screen.lines.push_back(value);
      return true;
    }
    if (key != "duration") {
      return Fail("unknown key \"" + key + "\" in [screen " + screen.name +
                  "] (expected line or duration)");
    }
    if (!FirstTime(key)) {
      return false;
    }
    if (!ParseDuration(value, screen.duration)) {
      return Fail("duration must be seconds from 0.125 to 3600 (such as 4 or 2.5), not \"" + value +
                  "\"");
    }
    return true;
  }

  std::string_view name_;
  std::string& error_;
  HostConfig config_;
  std::size_t line_number_ = 1;
  Section section_ = Section::kNone;
  std::size_t client_line_ = 0;
  std::map<std::size_t, std::size_t> screen_lines_;            // screen index -> header line
  std::unordered_map<std::string, std::size_t> screen_names_;  // name -> header line
  std::map<std::string, std::size_t> keys_seen_;               // in the current section
};

}  // namespace

std::optional<HostConfig> ParseHostConfig(std::string_view text, std::string_view name,
                                          std::string& error) {
  return Parser(name, error).Parse(text);
}

std::optional<HostConfig> LoadHostConfig(const std::string& path, std::string& error) {
  const auto text = common::ReadRegularFile(path, kMaxFileSize, error);
  if (!text) {
    error = "cannot read " + path + ": " + error;
    return std::nullopt;
  }
  return ParseHostConfig(*text, path, error);
}

}  // namespace zv::host

// The client's screens are "zv1".."zvN", the widgets of each "l1".."lH",
// one per line.
#include <algorithm>
#include <charconv>
#include <cstdint>

#include "common/cp1251.h"
#include "common/printable.h"
#include "common/utf8.h"
#include "zelvane-lcd/lcdproc.h"

namespace zv::host {

void ServerLines::Append(std::string_view data) {
  // The lines before start_ were taken: only a partial line moves.
  buffer_.erase(0, start_);
  scanned_ -= start_;
  start_ = 0;
  buffer_.append(data);
}

ServerLines::Next ServerLines::Take(std::string& line) {
  const auto newline = buffer_.find('\n', scanned_);
  if (newline == std::string::npos) {
    scanned_ = buffer_.size();
    return scanned_ - start_ > kLongestServerLine ? Next::TooLong : Next::None;
  }
  std::size_t length = newline - start_;
  if (length > 0 && buffer_[newline - 1] == '\r') {
    --length;
  }
  if (length > kLongestServerLine) {
    return Next::TooLong;
  }
  line.assign(buffer_, start_, length);
  start_ = scanned_ = newline + 1;
  return Next::Line;
}

std::string RefusalLog::KindOf(std::string_view line) {
  constexpr std::size_t kLongestKind = 40;
  if (line.substr(0, 4) == "huh?") {
    line.remove_prefix(4);
  }
  const auto first = line.find_first_not_of(' ');
  line.remove_prefix(first == std::string_view::npos ? line.size() : first);
  std::size_t end = 0;
  while (end < line.size() && end < kLongestKind &&
         (line[end] == ' ' || (line[end] >= 'a' && line[end] <= 'z') ||
          (line[end] >= 'A' && line[end] <= 'Z'))) {
    ++end;
  }
  std::string kind(line.substr(0, end));
  while (!kind.empty() && kind.back() == ' ') {
    kind.pop_back();
  }
  return kind;
}

std::string RefusalLog::Take(std::string_view line, Clock::time_point now) {
  std::string kind = KindOf(line);
  if (kinds_.count(kind) == 0 && kinds_.size() >= kMaxKinds) {
    kind = "(other kinds)";
  }
  const auto [at, first] = kinds_.try_emplace(kind, Seen{now, 0});
  Seen& seen = at->second;
  if (!first && now - seen.reported < kQuiet) {
    ++seen.unreported;
    return "";
  }
  std::string report = common::Printable(line);
  if (seen.unreported > 0) {
    report += " (and " + std::to_string(seen.unreported) +
              " more refusals like it since the last report)";
  }
  seen = {now, 0};
  return report;
}

std::optional<LcdSize> ParseConnectAnswer(std::string_view line) {
  if (line.substr(0, 8) != "connect ") {
    return std::nullopt;
  }
  LcdSize size;
  const auto value_of = [&](std::string_view key, int& value) {
    std::string needle(1, ' ');
    needle.append(key).push_back(' ');
    const auto at = line.find(needle);
    if (at == std::string_view::npos) {
      return false;
    }
    const char* begin = line.data() + at + needle.size();
    const char* end = line.data() + line.size();
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && (result.ptr == end || *result.ptr == ' ') && value >= 1 &&
           value <= 256;
  };
  if (!value_of("wid", size.width) || !value_of("hgt", size.height)) {
    return std::nullopt;
  }
  return size;
}

std::optional<DisplayCharset> ParseDisplayCharset(std::string_view name) {
  if (name == "cp1251" || name == "windows-1251") {
    return DisplayCharset::Cp1251;
  }
  if (name == "ascii") {
    return DisplayCharset::Ascii;
  }
  if (name == "utf-8" || name == "utf8") {
    return DisplayCharset::Utf8;
  }
  return std::nullopt;
}

std::string EncodeForDisplay(std::string_view utf8, DisplayCharset charset, std::size_t columns) {
  std::string out;
  for (std::size_t pos = 0; pos < utf8.size();) {
    // Malformed bytes count as U+FFFD, one byte at a time.
    const std::size_t start = pos;
    const common::Utf8Sequence sequence = common::DecodeUtf8(utf8, pos);
    const std::uint32_t code_point = sequence.length == 0 ? 0xFFFD : sequence.code_point;
    pos += sequence.length == 0 ? 1 : sequence.length;
    std::string cell;
    if (code_point < 0x20 || code_point == 0x7F || code_point == 0xFFFD) {
      cell = "?";
    } else if (charset == DisplayCharset::Utf8) {
      cell = utf8.substr(start, pos - start);
    } else if (charset == DisplayCharset::Ascii) {
      cell = code_point < 0x80 ? static_cast<char>(code_point) : '?';
    } else {
      cell = common::Cp1251FromCodePoint(code_point).value_or('?');
    }
    if (out.size() + cell.size() > columns) {
      break;
    }
    out += cell;
  }
  return out;
}

std::string QuoteLcdString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\' || c == '{' || c == '}') {
      quoted += '\\';
    }
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::vector<std::string> ScreenSetupCommands(const std::vector<ScreenSpec>& screens, int height,
                                             DisplayCharset charset) {
  constexpr std::size_t kLongestName = 64;
  std::vector<std::string> commands;
  commands.emplace_back("client_set -name zelvane-lcd");
  for (std::size_t i = 0; i < screens.size(); ++i) {
    const std::string id = "zv" + std::to_string(i + 1);
    const std::string name = screens[i].name.empty() ? "Zelvane" : screens[i].name;
    std::string set = "screen_set " + id + " -name " +
                      QuoteLcdString(EncodeForDisplay(name, charset, kLongestName)) +
                      " -heartbeat off -priority hidden";
    if (screens[i].duration.count() > 0) {
      // In eighths of a second, rounded to the nearest, at least one.
      const auto eighths = std::max<long long>(1, (screens[i].duration.count() * 8 + 500) / 1000);
      set += " -duration " + std::to_string(eighths);
    }
    commands.push_back("screen_add " + id);
    commands.push_back(set);
    for (int row = 1; row <= height; ++row) {
      commands.push_back("widget_add " + id + " l" + std::to_string(row) + " string");
    }
  }
  return commands;
}

std::vector<std::string> FrameCommands(std::size_t number, const RenderedScreen& screen,
                                       const LcdSize& size, DisplayCharset charset, bool& hidden) {
  const std::string id = "zv" + std::to_string(number);
  std::vector<std::string> commands;
  if (screen.skipped) {
    if (!hidden) {
      commands.push_back("screen_set " + id + " -priority hidden");
      hidden = true;
    }
    return commands;
  }
  for (int row = 1; row <= size.height; ++row) {
    const auto index = static_cast<std::size_t>(row - 1);
    const std::string line = index < screen.lines.size() ? screen.lines[index] : "";
    commands.push_back(
        "widget_set " + id + " l" + std::to_string(row) + " 1 " + std::to_string(row) + " " +
        QuoteLcdString(EncodeForDisplay(line, charset, static_cast<std::size_t>(size.width))));
  }
  if (hidden) {
    commands.push_back("screen_set " + id + " -priority info");
    hidden = false;
  }
  return commands;
}

std::chrono::milliseconds ReconnectDelay(int attempt) {
  constexpr std::chrono::milliseconds kFirst{500};
  constexpr std::chrono::milliseconds kLongest{8000};
  auto delay = kFirst;
  for (int i = 0; i < attempt && delay < kLongest; ++i) {
    delay *= 2;
  }
  return std::min(delay, kLongest);
}

std::string RetryReport(const std::string& server, bool greeted, const std::string& error,
                        int attempt, std::string& last) {
  const auto delay = ReconnectDelay(attempt);
  const bool longest = delay == ReconnectDelay(attempt + 1);
  std::string report = "LCDd at " + server;
  report += greeted ? " went away (" : " is not reachable (";
  report += error + "); retrying ";
  report += longest ? "every " : "in ";
  report += std::to_string(delay.count() / 1000) + "." + std::to_string(delay.count() % 1000 / 100);
  report += " s";
  if (!longest) {
    last.clear();
    return report;
  }
  if (report == last) {
    return "";
  }
  last = report;
  return report;
}

bool ParseServerAddress(std::string_view text, LcdprocOptions& options) {
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
      return false;
    }
    host = text.substr(1, close - 1);
    port = close + 1 < text.size() ? text.substr(close + 2) : "";
  } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    if (text.find(':') != colon) {
      return false;  // a bare IPv6 address needs brackets
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  int number = 0;
  if (!port.empty()) {
    const auto result = std::from_chars(port.data(), port.data() + port.size(), number);
    if (result.ec != std::errc() || result.ptr != port.data() + port.size() || number < 1 ||
        number > 65535) {
      return false;
    }
    options.port = std::string(port);
  } else if (text.find(':') != std::string_view::npos && text.back() == ':') {
    return false;
  }
  if (!host.empty()) {
    options.host = std::string(host);
  }
  return true;
}

}  // namespace zv::host

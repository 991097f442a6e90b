#include "platform/posix/profile_text.h"

#include <cstddef>

namespace zv::platform {
namespace {

// One line of the text: [begin, content_end) is its content without the line
// ending, [content_end, end) the "\n" or "\r\n" (empty on an unterminated
// last line).
struct Line {
  std::size_t begin;
  std::size_t content_end;
  std::size_t end;
};

// The line that starts at `begin` (< text.size()). Lines are found one at a
// time as a scan goes, so no scan keeps more than a line or two.
Line LineAt(std::string_view text, std::size_t begin) {
  const std::size_t nl = text.find('\n', begin);
  if (nl == std::string_view::npos) {
    // A lone "\r" ending the file is the start of a line ending, not text.
    const std::size_t content_end = text.back() == '\r' ? text.size() - 1 : text.size();
    return {begin, content_end, text.size()};
  }
  const std::size_t content_end = (nl > begin && text[nl - 1] == '\r') ? nl - 1 : nl;
  return {begin, content_end, nl + 1};
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Content(std::string_view text, const Line& line) {
  std::string_view s = text.substr(line.begin, line.content_end - line.begin);
  // A UTF-8 byte-order mark some editors put first is not part of the line.
  if (line.begin == 0 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return s;
}

// The section name of a header line "[name]" (text after "]" is ignored).
std::optional<std::string_view> HeaderName(std::string_view content) {
  const std::string_view s = Trim(content);
  if (s.empty() || s.front() != '[') return std::nullopt;
  const std::size_t close = s.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(s.substr(1, close - 1));
}

bool IsComment(std::string_view content) {
  const std::string_view s = Trim(content);
  return !s.empty() && (s.front() == ';' || s.front() == '#');
}

// Where the key's line is, or where a new key line would go.
struct Location {
  std::optional<Line> key_line;  // the key's line
  std::optional<std::size_t>
      section_last;  // end of the first matching section's last non-blank line
  bool section_found = false;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;
  bool in_first = false;
  for (std::size_t at = 0; at < text.size();) {
    const Line line = LineAt(text, at);
    at = line.end;
    const std::string_view content = Content(text, line);
    if (const auto name = HeaderName(content)) {
      inside = SameName(*name, section);
      in_first = inside && !where.section_found;
      if (inside) {
        if (in_first) where.section_last = line.end;
        where.section_found = true;
      }
      continue;
    }
    if (!inside) continue;
    if (in_first && !Trim(content).empty()) where.section_last = line.end;
    if (IsComment(content)) continue;
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) continue;
    if (SameName(Trim(content.substr(0, eq)), key)) {
      where.key_line = line;
      return where;
    }
  }
  return where;
}

bool HasLineBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

}  // namespace

bool CanSetProfileValue(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // Anything that would read back differently or split the line is refused.
  return !HasLineBreak(value) && !HasLineBreak(section) && !HasLineBreak(key) && !key.empty() &&
         key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';' &&
         key.front() != '#' && section.find(']') == std::string_view::npos;
}

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const Location where = Locate(text, Trim(section), Trim(key));
  if (!where.key_line) return std::nullopt;
  const std::string_view content = Content(text, *where.key_line);
  return std::string(Trim(content.substr(content.find('=') + 1)));
}

bool SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value) {
  if (!CanSetProfileValue(section, key, value)) return false;
  section = Trim(section);
  key = Trim(key);
  const Location where = Locate(text, section, key);
  if (where.key_line) {
    // Keep the key as it is spelled and the blanks after "=", replace the rest.
    const Line& line = *where.key_line;
    const std::string_view content =
        std::string_view(text).substr(line.begin, line.content_end - line.begin);
    std::size_t start = content.find('=') + 1;
    while (start < content.size() && IsBlank(content[start])) ++start;
    text.replace(line.begin + start, content.size() - start, value);
    return true;
  }
  // New lines follow the file's own line ending (that of its first line); a
  // file without one gets "\n".
  const bool crlf = !text.empty() && [&] {
    const Line first = LineAt(text, 0);
    return first.end - first.content_end == 2;
  }();
  const std::string eol = crlf ? "\r\n" : "\n";
  std::string entry = std::string(key) + "=" + std::string(value) + eol;
  std::size_t at = text.size();
  if (where.section_found) {
    at = *where.section_last;
  } else {
    entry = "[" + std::string(section) + "]" + eol + entry;
  }
  // An unterminated line before the insertion point gets its line ending
  // first (just "\n" after a lone "\r", which then makes "\r\n").
  if (at > 0 && text[at - 1] != '\n') entry = (text[at - 1] == '\r' ? "\n" : eol) + entry;
  text.insert(at, entry);
  return true;
}

}  // namespace zv::platform

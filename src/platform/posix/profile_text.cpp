#include "platform/posix/profile_text.h"

#include <algorithm>
#include <cstddef>

#include "common/text.h"

namespace zv::platform {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

constexpr auto Trim = common::TrimBlanks;
// Names compare without regard to ASCII case (1251 letters as they are).
constexpr auto SameName = common::EqualIgnoringAsciiCase;

// The key's first line "key = value" (no comment) in any section of the
// name, and where a new key line would go: after the last non-blank line of
// the first such section.
struct Location {
  std::optional<std::string_view> key_line;  // its content
  std::optional<std::size_t> section_end;
};

// One pass over the lines, keeping none of them.
Location Locate(std::string_view text, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;
  bool first = false;
  for (std::size_t at = 0; at < text.size() && !where.key_line;) {
    const std::size_t begin = at;
    at = std::min(text.find('\n', at), text.size() - 1) + 1;
    std::string_view content = text.substr(begin, at - begin);
    // The line ending is "\n", "\r\n", or a lone "\r" ending the file; a
    // UTF-8 byte-order mark some editors put first is no content either.
    if (content.ends_with('\n')) content.remove_suffix(1);
    if (content.ends_with('\r')) content.remove_suffix(1);
    if (begin == 0 && content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    const std::string_view s = Trim(content);
    // A header "[name]"; text after "]" is ignored.
    if (s.starts_with('[') && s.find(']') != kNone) {
      inside = SameName(Trim(s.substr(1, s.find(']') - 1)), section);
      first = inside && !where.section_end;
      if (first) where.section_end = at;
      continue;
    }
    if (first && !s.empty()) where.section_end = at;
    const std::size_t eq = s.find('=');
    if (inside && !s.starts_with(';') && !s.starts_with('#') && eq != kNone &&
        SameName(Trim(s.substr(0, eq)), key)) {
      where.key_line = content;
    }
  }
  return where;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const Location where = Locate(text, Trim(section), Trim(key));
  if (!where.key_line) return std::nullopt;
  const std::string_view content = *where.key_line;
  return std::string(Trim(content.substr(content.find('=') + 1)));
}

bool SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // Anything that would read back differently or split the line is refused.
  const auto breaks = [](std::string_view s) { return s.find_first_of("\r\n") != kNone; };
  if (breaks(value) || breaks(section) || breaks(key) || key.empty() || key.find('=') != kNone ||
      std::string_view("[;#").find(key.front()) != kNone || section.find(']') != kNone) {
    return false;
  }
  const Location where = Locate(text, section, key);
  if (where.key_line) {
    // Keep the key as it is spelled and the blanks after "=", replace the rest.
    const std::string_view content = *where.key_line;
    const std::size_t start =
        std::min(content.find_first_not_of(" \t", content.find('=') + 1), content.size());
    text.replace(static_cast<std::size_t>(content.data() - text.data()) + start,
                 content.size() - start, value);
    return true;
  }
  // New lines follow the file's own line ending (that of its first line); a
  // file without one gets "\n".
  const std::size_t nl = text.find('\n');
  const std::string eol = nl != kNone && nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
  std::string entry = std::string(key) + "=" + std::string(value) + eol;
  if (!where.section_end) entry = "[" + std::string(section) + "]" + eol + entry;
  const std::size_t at = where.section_end.value_or(text.size());
  // An unterminated line before the insertion point gets its line ending
  // first (just "\n" after a lone "\r", which then makes "\r\n").
  if (at > 0 && text[at - 1] != '\n') entry = (text[at - 1] == '\r' ? "\n" : eol) + entry;
  text.insert(at, entry);
  return true;
}

}  // namespace zv::platform

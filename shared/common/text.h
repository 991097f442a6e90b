// Small text helpers for configuration files, written once.
#pragma once

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace zv::common {

// `text` without the blanks (spaces and tabs) at either end.
constexpr std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with A-Z as a-z; other bytes as they are.
inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

// Whether `a` and `b` are the same but for the case of A-Z.
constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// Whether `text` is well-formed UTF-8 throughout.
constexpr bool IsUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Sequence sequence = DecodeUtf8(text, pos);
    if (sequence.length == 0) return false;
    pos += sequence.length;
  }
  return true;
}

// Reads `text` as a decimal number from `min` to `max` into `value`: digits
// with an optional '-', no blanks, no '+', no other base ("010" is ten).
// False, leaving `value` alone, for anything else.
inline bool ParseDecimal(std::string_view text, long min, long max, long& value) {
  long parsed = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      parsed < min || parsed > max) {
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace zv::common

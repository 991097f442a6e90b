// UTF-8, decoded and encoded the one strict way: a sequence is well formed
// only at its shortest length, outside the surrogates and up to U+10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv::common {

struct Utf8Sequence {
  std::size_t length = 0;  // bytes; 0 when those at the position are no character
  std::uint32_t code_point = 0;
};

// The sequence that starts at `pos` (< text.size()) of `text`.
constexpr Utf8Sequence DecodeUtf8(std::string_view text, std::size_t pos) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) return {1, byte};
  const std::size_t length = (byte & 0xE0U) == 0xC0U   ? 2
                             : (byte & 0xF0U) == 0xE0U ? 3
                             : (byte & 0xF8U) == 0xF0U ? 4
                                                       : 0;
  if (length == 0 || pos + length > text.size()) return {};
  std::uint32_t code_point = byte & (0x7FU >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + k]);
    if ((next & 0xC0U) != 0x80U) return {};
    code_point = (code_point << 6U) | (next & 0x3FU);
  }
  constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  if (code_point < kLeast[length] || code_point > 0x10FFFF || surrogate) return {};
  return {length, code_point};
}

// Appends the UTF-8 form of `code_point` (at most U+10FFFF).
inline void AppendUtf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
    return;
  }
  const int continuation = code_point < 0x800 ? 1 : code_point < 0x10000 ? 2 : 3;
  constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[continuation] | (code_point >> (6 * continuation)));
  for (int shift = 6 * (continuation - 1); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80U | ((code_point >> shift) & 0x3FU));
  }
}

}  // namespace zv::common

#include "common/printable.h"

#include <array>
#include <cstdint>

namespace zv::common {
namespace {

// The length of the well-formed UTF-8 sequence at `pos` (its code point in
// `code_point`), or 0 when the bytes there are not one.
std::size_t SequenceAt(std::string_view text, std::size_t pos, std::uint32_t& code_point) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) {
    code_point = byte;
    return 1;
  }
  std::size_t length = 0;
  std::uint32_t least = 0;
  if ((byte & 0xE0U) == 0xC0) {
    length = 2;
    least = 0x80;
  } else if ((byte & 0xF0U) == 0xE0) {
    length = 3;
    least = 0x800;
  } else if ((byte & 0xF8U) == 0xF0) {
    length = 4;
    least = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) {
    return 0;
  }
  code_point = byte & (0x7FU >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + k]);
    if ((next & 0xC0U) != 0x80) {
      return 0;
    }
    code_point = (code_point << 6U) | (next & 0x3FU);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  return code_point < least || code_point > 0x10FFFF || surrogate ? 0 : length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  constexpr std::array<char, 16> kDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                            '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  out += "\\x";
  out += kDigits.at(byte >> 4U);
  out += kDigits.at(byte & 0x0FU);
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::uint32_t code_point = 0;
    const std::size_t length = SequenceAt(text, pos, code_point);
    const bool control = code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
    if (length == 0 || control) {
      // A C1 control takes two bytes in UTF-8: both are shown.
      for (std::size_t k = 0; k < (length == 0 ? 1 : length); ++k) {
        AppendEscaped(out, static_cast<unsigned char>(text[pos + k]));
      }
      pos += length == 0 ? 1 : length;
      continue;
    }
    out.append(text, pos, length);
    pos += length;
  }
  return out;
}

}  // namespace zv::common

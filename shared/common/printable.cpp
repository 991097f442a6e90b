#include "common/printable.h"

#include "common/utf8.h"

#include <array>
#include <cstdint>

namespace zv::common {
namespace {

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
    const auto [length, code_point] = DecodeUtf8(text, pos);
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

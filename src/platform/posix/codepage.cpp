#include "platform/posix/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>

#include "platform/text.h"

namespace zv::platform {
namespace {

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;  // NOLINT(cppcoreguidelines-owning-memory)
  }
};

// The bytes of the UTF-8 sequence that `rest` starts with when it is well
// formed (a character the target lacks), else 1 (a byte that is no character).
std::size_t Utf8SequenceLength(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest.front());
  const std::size_t length = (lead & 0xE0U) == 0xC0U   ? 2
                             : (lead & 0xF0U) == 0xE0U ? 3
                             : (lead & 0xF8U) == 0xF0U ? 4
                                                       : 1;
  if (length > rest.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(rest[i]) & 0xC0U) != 0x80U) return 1;
  }
  return length;
}

// What Convert puts out for input that has no form in the target: `text`
// in place of `skip(rest)` input bytes (one byte when `skip` is null).
// Without a text the conversion fails instead.
struct Replacement {
  std::string_view text;
  std::size_t (*skip)(std::string_view rest) = nullptr;
};

// Converts with glibc's iconv. Returns nullopt on the first byte sequence
// that has no form in the target, unless `replacement` stands for it.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view text,
                                   Replacement replacement = {}) {
  iconv_t handle = iconv_open(to, from);
  // iconv_open reports failure as (iconv_t)-1.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  if (handle == reinterpret_cast<iconv_t>(-1)) {
    return std::nullopt;
  }
  const std::unique_ptr<iconv_t, IconvCloser> cd(new iconv_t(handle));
  std::string out;
  out.reserve(text.size() * 2);
  // iconv's interface takes non-const input pointers but never writes through them.
  char* in = const_cast<char*>(text.data());  // NOLINT(cppcoreguidelines-pro-type-const-cast)
  std::size_t in_left = text.size();
  std::array<char, 256> buffer{};
  while (in_left > 0) {
    char* out_ptr = buffer.data();
    std::size_t out_left = buffer.size();
    const std::size_t done = iconv(*cd, &in, &in_left, &out_ptr, &out_left);
    out.append(buffer.data(), out_ptr);
    if (done != static_cast<std::size_t>(-1) || errno == E2BIG) {
      continue;
    }
    if (replacement.text.empty()) {
      return std::nullopt;
    }
    out.append(replacement.text);
    const std::size_t skipped =
        replacement.skip != nullptr ? replacement.skip(std::string_view(in, in_left)) : 1;
    in += skipped;
    in_left -= skipped;
  }
  return out;
}

}  // namespace

std::string Windows1251ToUtf8(std::string_view text) {
  return Convert("UTF-8", "WINDOWS-1251", text, {"\xEF\xBF\xBD"}).value_or(std::string());
}

std::optional<std::string> Utf8ToWindows1251(std::string_view text) {
  return Convert("WINDOWS-1251", "UTF-8", text);
}

std::string Utf8ToWindows1251Lossy(std::string_view text) {
  return Convert("WINDOWS-1251", "UTF-8", text, {"?", Utf8SequenceLength}).value_or(std::string());
}

// Linux names are UTF-8 (what the desktop and FLTK assume as well).
Text1251 PathText(const NativePath& path) { return Utf8ToWindows1251Lossy(path.bytes); }

}  // namespace zv::platform

#include "platform/posix/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>

namespace zv::platform {
namespace {

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;  // NOLINT(cppcoreguidelines-owning-memory)
  }
};

// Converts with glibc's iconv. Returns nullopt on the first byte sequence
// that has no form in the target; `on_unassigned`, when set, replaces an
// input byte the source code page leaves unassigned instead.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view text,
                                   std::string_view on_unassigned = {}) {
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
    if (on_unassigned.empty()) {
      return std::nullopt;
    }
    out.append(on_unassigned);
    ++in;
    --in_left;
  }
  return out;
}

}  // namespace

std::string Windows1251ToUtf8(std::string_view text) {
  return Convert("UTF-8", "WINDOWS-1251", text, "\xEF\xBF\xBD").value_or(std::string());
}

std::optional<std::string> Utf8ToWindows1251(std::string_view text) {
  return Convert("WINDOWS-1251", "UTF-8", text);
}

}  // namespace zv::platform

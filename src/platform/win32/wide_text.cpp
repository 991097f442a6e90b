#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace zv::platform {
namespace {

constexpr UINT kCodePage = 1251;

}  // namespace

std::wstring WideFromWindows1251(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(kCodePage, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(kCodePage, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::optional<std::string> Windows1251FromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(text.size());
  // Without WC_NO_BEST_FIT_CHARS, a letter such as "ä" would quietly become
  // "a" and name another file.
  BOOL used_default = FALSE;
  const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                       nullptr, 0, nullptr, &used_default);
  if (size <= 0 || used_default) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, out.data(), size,
                      nullptr, &used_default);
  if (used_default) return std::nullopt;
  return out;
}

std::string Windows1251FromWideLossy(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                       nullptr, 0, "?", nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, out.data(), size, "?",
                      nullptr);
  return out;
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument receives the
  // address of the allocated text. The wide form reads right whatever the
  // system's code page.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&buffer),  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
      0, nullptr);
  std::string text = length > 0 && buffer != nullptr
                         ? Windows1251FromWideLossy(std::wstring_view(buffer, length))
                         : std::string();
  LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace zv::platform

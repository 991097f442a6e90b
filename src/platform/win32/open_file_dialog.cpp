#include "platform/open_file_dialog.h"

#include <windows.h>

// After <windows.h>, which it needs.
#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace zv::platform {

// The wide-character dialog, so the Russian filter text reads right
// whatever the system's ANSI code page; the chosen name comes back as
// Windows-1251. The dialog is owned by the calling thread's active window
// (the settings dialog), which it disables while it is open.
std::optional<std::string> RunOpenFileDialog(const OpenFileRequest& request) {
  // "Text|*.exe|All|*.*" becomes "Text\0*.exe\0All\0*.*\0\0".
  std::wstring filter = WideFromWindows1251(request.filter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.append(2, L'\0');
  std::wstring extension = WideFromWindows1251(request.default_extension);
  if (!extension.empty() && extension.front() == L'.') extension.erase(0, 1);
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring start = WideFromWindows1251(request.file_name);
  if (start.size() < name.size()) start.copy(name.data(), start.size());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The host's current folder stays as it was; the caller checks that the
  // file exists.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  return Windows1251FromWide(name.data());
}

}  // namespace zv::platform

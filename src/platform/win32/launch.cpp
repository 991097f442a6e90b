#include "platform/launch.h"

#include <windows.h>

// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>

#include "platform/exception.h"
#include "platform/win32/wide_text.h"

namespace zv::platform {
namespace {

// What ShellExecute's result codes (32 or less) mean; the low ones are also
// system error codes.
std::string LaunchError(INT_PTR code) {
  switch (code) {
    case 0:
      return "out of memory or resources";
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return "no program is associated with this file";
    case SE_ERR_DDEBUSY:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDETIMEOUT:
      return "the shell's DDE request failed";
    case SE_ERR_DLLNOTFOUND:
      return "a DLL the program needs was not found";
    case SE_ERR_SHARE:
      return "a sharing violation occurred";
    default:
      return SystemErrorText(static_cast<unsigned long>(code));
  }
}

}  // namespace

// The shell's default action on the file, with no owner window, verb,
// arguments or working folder: the file is a path, never a command line.
// The started program is not our child and outlives us.
void LaunchExecutable(const Text1251& path) {
  // ShellExecute's result is an HINSTANCE only for old programs' sake; its
  // value is a number, greater than 32 on success.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) {
    throw Exception("Cannot start " + path + ": " + LaunchError(result));
  }
}

}  // namespace zv::platform

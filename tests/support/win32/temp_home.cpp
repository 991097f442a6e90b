#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace zv::test {
namespace {

// Where the shell looks up the user's documents folder ("Personal"). The
// registry is shared by every process of the Wine prefix, so the tests that
// change it hold one lock (see tests/CMakeLists.txt).
constexpr const wchar_t* kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kPersonal = L"Personal";

std::optional<std::wstring> SavedPersonal() {
  std::array<wchar_t, 1024> value{};
  auto size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, kPersonal,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value.data(),
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value.data());
}

void SetPersonal(const std::optional<std::wstring>& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open the shell folders key";
    return;
  }
  if (value) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the API takes bytes
    RegSetValueExW(key, kPersonal, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(key, kPersonal);
  }
  RegCloseKey(key);
}

std::optional<std::wstring>& Saved() {
  static std::optional<std::wstring> saved;
  return saved;
}

}  // namespace

// A fresh folder under the temporary folder; the user's documents folder
// becomes its "Documents", and the previous setting comes back on
// destruction.
TempHome::TempHome() {
  std::array<char, MAX_PATH + 1> temp{};
  GetTempPathA(static_cast<DWORD>(temp.size()), temp.data());
  std::string base = temp.data();
  while (!base.empty() && base.back() == '\\') base.pop_back();
  for (unsigned attempt = 0;; ++attempt) {
    path_ =
        base + "\\zv-home-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 100) {
      ADD_FAILURE() << "cannot create a temporary folder";
      break;
    }
  }
  Saved() = SavedPersonal();
  // The folder exists, as a user's documents folder does: for a missing one
  // Wine's shell hands out an item list whose path is junk.
  CreateDirectoryA((path_ + "\\Documents").c_str(), nullptr);
  const std::wstring documents = std::filesystem::path(path_ + "\\Documents").wstring();
  SetPersonal(documents);
}

TempHome::~TempHome() {
  SetPersonal(Saved());
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void SetEnvironment(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
  _putenv_s(name, value == nullptr ? "" : value);
}

}  // namespace zv::test

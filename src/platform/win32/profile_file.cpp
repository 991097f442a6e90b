#include "platform/profile_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/win32/documents_folder_rules.h"
#include "platform/win32/wide_text.h"

namespace zv::platform {
namespace {

[[noreturn]] void Fail(const char* what, const NativePath& path, DWORD error) {
  throw Exception(std::string(what) + " " + PathText(path) + ": " + SystemErrorText(error));
}

// The profile functions report no error of their own on reading: a file
// that is there but cannot be opened would read as missing. Look first:
// returns false when there is no file to read, as for a missing file or a
// place that cannot be reached now (a drive that is not ready, a share that
// is down), where the profile functions give the defaults too.
bool CheckReadable(const NativePath& path) {
  const DWORD attributes = GetFileAttributesA(path.bytes.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (IsUnreachablePathError(error)) return false;
    Fail("Cannot read the settings file", path, error);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Fail("Cannot read the settings file", path, ERROR_ACCESS_DENIED);
  }
  HANDLE file = CreateFileA(path.bytes.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("Cannot read the settings file", path, GetLastError());
  CloseHandle(file);
  return true;
}

// GetPrivateProfileStringA removes blanks (and a pair of quotes) around the
// value itself; a value longer than the buffer comes back cut, so the buffer
// grows until the whole value fits.
std::string ReadValue(const NativePath& path, const char* section, const char* key,
                      const std::string& fallback) {
  std::vector<char> buffer(1024);
  for (;;) {
    const DWORD length =
        GetPrivateProfileStringA(section, key, fallback.c_str(), buffer.data(),
                                 static_cast<DWORD>(buffer.size()), path.bytes.c_str());
    if (length + 1 < buffer.size() || buffer.size() >= (1U << 24)) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace

std::vector<std::string> ReadProfileStrings(const NativePath& path, const char* section,
                                            const std::vector<ProfileEntry>& entries) {
  const bool present = CheckReadable(path);
  std::vector<std::string> values;
  values.reserve(entries.size());
  for (const ProfileEntry& entry : entries) {
    values.push_back(present ? ReadValue(path, section, entry.key, entry.value) : entry.value);
  }
  return values;
}

// WritePrivateProfileStringA rewrites the file in place, one key at a time.
void WriteProfileStrings(const NativePath& path, const char* section,
                         const std::vector<ProfileEntry>& entries) {
  for (const ProfileEntry& entry : entries) {
    if (!WritePrivateProfileStringA(section, entry.key, entry.value.c_str(), path.bytes.c_str())) {
      Fail("Cannot write the settings file", path, GetLastError());
    }
  }
}

}  // namespace zv::platform

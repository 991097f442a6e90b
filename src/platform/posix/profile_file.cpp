#include "platform/profile_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/profile_file_io.h"
#include "platform/posix/profile_text.h"

namespace zv::platform {

std::vector<std::string> ReadProfileStrings(const NativePath& path, const char* section,
                                            const std::vector<ProfileEntry>& entries) {
  std::string text;
  const int error = ReadProfileFile(path.bytes, text);
  if (error != 0 && error != ENOENT) FailOn("Cannot read the settings file", PathText(path), error);
  std::vector<std::string> values;
  values.reserve(entries.size());
  for (const ProfileEntry& entry : entries) {
    values.push_back(FindProfileValue(text, section, entry.key).value_or(entry.value));
  }
  return values;
}

// Every entry is applied to the text in order, and the file is replaced
// once. The file a link leads to is replaced, so the links stay; only a
// regular file is ever replaced, and anything else in its place (a device,
// a FIFO, a folder) is an error and nothing is written.
void WriteProfileStrings(const NativePath& path, const char* section,
                         const std::vector<ProfileEntry>& entries) {
  std::string target = path.bytes;
  int error = FollowLinks(target);
  // Room for the lines that the entries may add.
  std::size_t spare = 0;
  for (const ProfileEntry& entry : entries) {
    spare += std::strlen(section) + std::strlen(entry.key) + entry.value.size() + 8;
  }
  std::string text;
  if (error == 0) error = ReadProfileFile(target, text, spare);
  if (error == ENOENT) error = 0;  // a new file
  for (const ProfileEntry& entry : entries) {
    // The editor keeps the file's lines whole: it refuses what would break
    // them (no value that reaches here does), and nothing is written.
    if (error == 0 && !SetProfileValue(text, section, entry.key, entry.value)) error = EINVAL;
  }
  if (error == 0) error = ReplaceProfileFile(target, text);
  if (error != 0) {
    const Text1251 link = target == path.bytes ? "" : " (a link to " + PathText({target}) + ")";
    FailOn("Cannot write the settings file", PathText(path) + link, error);
  }
}

}  // namespace zv::platform

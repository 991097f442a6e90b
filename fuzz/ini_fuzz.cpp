// Fuzz target for the INI reader and editor: any file text, any value.
// Properties: no crash; an edit changes nothing but the key's own line, or
// only adds whole lines (the key, perhaps its section, perhaps the line end
// of an unterminated last line); the key then reads back as the value with
// blanks around it removed, and the other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/profile_text.h"

namespace {

using zv::platform::FindProfileValue;
using zv::platform::SetProfileValue;

// Stops the run when a property fails; with ZV_FUZZ_VERBOSE set, says where.
// (A macro for __LINE__: clang 14 has no std::source_location.)
#define Require(c) RequireAt((c), __LINE__)
void RequireAt(bool condition, int line) {
  if (condition) return;
  if (std::getenv("ZV_FUZZ_VERBOSE") != nullptr) {
    std::cerr << "property at line " << line << std::endl;
  }
  std::abort();
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::size_t CommonPrefix(std::string_view a, std::string_view b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

std::size_t CommonSuffix(std::string_view a, std::string_view b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n]) ++n;
  return n;
}

std::size_t Count(std::string_view s, char c) {
  std::size_t n = 0;
  for (const char x : s) n += x == c ? 1 : 0;
  return n;
}

// Sets `key` and checks what may have changed.
void EditAndCheck(std::string& text, std::string_view section, std::string_view key,
                  std::string_view other_key, const std::string& value) {
  const std::string before = text;
  const std::optional<std::string> old_value = FindProfileValue(before, section, key);
  const std::optional<std::string> other = FindProfileValue(before, section, other_key);
  if (std::getenv("ZV_FUZZ_VERBOSE") != nullptr) {
    std::cerr << "edit [" << section << "] " << key << "=" << value << " in:\n"
              << before << "\n--" << std::endl;
  }
  if (!SetProfileValue(text, section, key, value)) {
    Require(text == before);
    Require(value.find_first_of("\r\n") != std::string::npos);
    return;
  }
  Require(FindProfileValue(text, section, key) == std::string(Trim(value)));
  Require(FindProfileValue(text, section, other_key) == other);

  const std::size_t prefix = CommonPrefix(before, text);
  const std::size_t suffix = CommonSuffix(before, text);
  if (old_value) {
    // One stretch inside one line was replaced: no line break in either side.
    const std::size_t keep = std::min(prefix + suffix, std::min(before.size(), text.size()));
    const std::size_t start = std::min(prefix, keep);
    const std::string_view removed = std::string_view(before).substr(start, before.size() - keep);
    const std::string_view added = std::string_view(text).substr(start, text.size() - keep);
    Require(removed.find('\n') == std::string_view::npos);
    Require(added.find('\n') == std::string_view::npos);
  } else {
    // Whole lines were inserted at one place: the old text is the new one
    // with one stretch taken out.
    Require(text.size() > before.size());
    Require(prefix + suffix >= before.size());
    const std::size_t added = Count(text, '\n') - Count(before, '\n');
    Require(added >= 1 && added <= 3);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
  const char* sections[] = {"ZV4", "zv4", " Zv4 ", "Main"};
  const std::string_view section = sections[choice & 3];
  std::string first_value = input.ConsumeRandomLengthString(64);
  std::string second_value = input.ConsumeRandomLengthString(64);
  std::string text = input.ConsumeRemainingBytesAsString();
  const bool path_first = (choice & 4) != 0;
  const std::string_view a = path_first ? "Path" : "Try to run";
  const std::string_view b = path_first ? "Try to run" : "Path";
  EditAndCheck(text, section, a, b, first_value);
  EditAndCheck(text, section, b, a, second_value);
  if (first_value.find_first_of("\r\n") == std::string::npos) {
    Require(FindProfileValue(text, section, a) == std::string(Trim(first_value)));
  }
  return 0;
}

#include "common/read_file.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace zv::common {

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20U;
  return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                           : std::to_string(bytes) + " bytes";
}

bool CheckRegularFile(const std::string& path, std::string& error) {
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(path, code);
  if (code) {
    error = code.message();
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    error = std::filesystem::is_directory(status) ? "it is a folder, not a regular file"
                                                  : "it is not a regular file";
    return false;
  }
  return true;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t max_size,
                                           std::string& error) {
  if (!CheckRegularFile(path, error)) {
    return std::nullopt;
  }
  std::error_code code;
  if (std::filesystem::file_size(path, code) > max_size || code) {
    error = code ? code.message() : "it is larger than " + SizeText(max_size);
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!file.is_open() || file.bad()) {
    error = std::generic_category().message(errno);
    return std::nullopt;
  }
  return text;
}

}  // namespace zv::common

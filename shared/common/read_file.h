// The files the programs read at a user's word (a configuration, a screen
// file) and the ones they hand to a library that opens them (the plugin
// module): regular files only, of bounded size, opened without waiting for
// anyone (a FIFO never blocks), each fault told with its reason.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zv::common {

// Reads the regular file at `path` (links followed), at most `max_size`
// bytes. Otherwise returns nullopt and sets `error` to the reason, as
// "it is a FIFO, not a regular file", "it is larger than 1 MiB" or the
// system's ("No such file or directory"); callers name the file.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t max_size,
                                           std::string& error);

// The same checks, without the size, for a file another library opens:
// false (and the reason in `error`) when `path` is not a regular file.
bool CheckRegularFile(const std::string& path, std::string& error);

// "1 MiB" or "1000 bytes": a size as the errors above give it.
std::string SizeText(std::size_t bytes);

}  // namespace zv::common

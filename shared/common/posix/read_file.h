// The one bounded read of a regular file on Linux, for the plugin's
// settings files and the programs' files alike. It returns codes; each
// caller words the error for what its user was doing.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace zv::common {

// Failures of ReadRegularFileBounded that are no errno value.
inline constexpr int kNotRegularFile = -1;
inline constexpr int kFileTooLarge = -2;

// Reads the regular file at `path` (links followed), at most `max_size`
// bytes, into `text`. Returns 0, an errno value (ENOENT: nothing is there,
// a dangling link included), kNotRegularFile (the file's mode then in
// `type`, where given) or kFileTooLarge. Anything but a regular file is
// never opened: the type is looked at before a non-blocking open (a device
// can act on being opened, a FIFO waits for a writer) and again on the open
// file, which is what is read. The size the file claims is not trusted
// (files of /proc say 0): at most one byte past the bound is read.
int ReadRegularFileBounded(const std::string& path, std::size_t max_size, std::string& text,
                           mode_t* type = nullptr);

// What a file of `mode` that is not a regular one is, for messages: "a
// FIFO", "a folder", "a symbolic link", "a socket", "a device".
std::string FileTypeName(mode_t mode);

}  // namespace zv::common

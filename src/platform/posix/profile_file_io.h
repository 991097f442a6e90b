// File access for the POSIX settings backend (the settings file and the
// user-dirs file that says where it lies): a bounded read that never blocks
// the host's thread, the walk along symbolic links, and the replacement of
// a file as a whole. They return codes (0, an errno value or one of the two
// below); the caller, which knows what the user was doing, words the error
// once, with FailOn.
#pragma once

#include <cstddef>
#include <string>

#include "common/posix/read_file.h"
#include "platform/text.h"

namespace zv::platform {

// The largest settings or user-dirs file read, 4 MiB: far beyond any real
// one, small enough to read at once. A larger file is an error.
constexpr std::size_t kMaxProfileFileSize = std::size_t{4} << 20;

// Failures that are no errno value.
using common::kFileTooLarge;
using common::kNotRegularFile;

// Reads the regular file at `path` (common::ReadRegularFileBounded, at most
// kMaxProfileFileSize bytes) into `text`, with room for `spare` more bytes.
int ReadProfileFile(const std::string& path, std::string& text, std::size_t spare = 0);

// Follows the symbolic links from `path` to the first name that is no link
// and sets `path` to it; that name need not exist (a dangling link leads to
// the missing file it names). ELOOP past as many links as the kernel
// follows; `path` stays as it was on any failure.
int FollowLinks(std::string& path);

// Replaces the file `path`, a regular file or nothing (no link), with
// `text`, so that a crash leaves the old file or the new one, never a
// part; the new one keeps the old one's permissions (and owner, where
// allowed), and a file that is new gets 0666 less the umask. EWOULDBLOCK:
// another save of the same file is under way, and nothing was done.
int ReplaceProfileFile(const std::string& path, const std::string& text);

// Raises Exception "<what> <shown>: <reason>", the reason being `error`
// said in words; `shown` is a path as 1251 text.
[[noreturn]] void FailOn(const char* what, const Text1251& shown, int error);

}  // namespace zv::platform

// File access for the POSIX settings backend (the settings file and the
// user-dirs file that says where it lies): nothing is ever opened that
// could block the host's thread or read without end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/text.h"

namespace zv::platform {

// The largest settings or user-dirs file read, 4 MiB: far beyond any real
// one, small enough to read at once. A larger file is an error.
constexpr std::size_t kMaxProfileFileSize = std::size_t{4} << 20;

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&&) = delete;
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  ~FileDescriptor() { Close(); }
  [[nodiscard]] int get() const { return fd_; }
  // Closes now; returns close's result.
  int Close();

 private:
  int fd_;
};

// Raises Exception "<failure>: <reason>"; `failure` says what failed and
// names the file ("Cannot read the settings file /home/u/Lumora3.ini"), as
// 1251 text (PathText).
[[noreturn]] void FailOn(const Text1251& failure, const Text1251& reason);
// The same with the text of an errno value as the reason.
[[noreturn]] void FailOnError(const Text1251& failure, int error);

// The bytes of the regular file at the native path `path` (links followed unless
// `follow_links` is false), or nothing when no file is there (a dangling
// link included). The string has room for `spare` more bytes. Special files
// (FIFOs, devices, sockets, folders) are never opened for reading: the type
// is checked before opening, the open does not block, and the type is
// checked again on the open file. Raises Exception, `failure` starting its
// message, for anything but a regular file, for a file larger than
// kMaxProfileFileSize and when the file cannot be read.
std::optional<std::string> ReadRegularFile(const std::string& path, const Text1251& failure,
                                           bool follow_links = true, std::size_t spare = 0);

}  // namespace zv::platform

// Listening sockets where an X client looks for display N, for tests that
// stand in for X servers (POSIX only).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace zv::test {

enum class DisplaySocket {
  kAbstract,  // "\0/tmp/.X11-unix/XN", which Xlib and the probe try first
  kFile,      // /tmp/.X11-unix/XN
  kTcp,       // 127.0.0.1:6000+N
};

// A listening socket of `kind` for display `number`, or -1 when it is taken.
inline int ListenOnDisplay(DisplaySocket kind, int number) {
  const int fd =
      socket(kind == DisplaySocket::kTcp ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  bool bound = false;
  if (kind == DisplaySocket::kTcp) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): socket address type
    bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  } else {
    const std::string file = "/tmp/.X11-unix/X" + std::to_string(number);
    const std::size_t offset = kind == DisplaySocket::kAbstract ? 1 : 0;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(&address.sun_path[offset], file.data(), file.size());
    const auto size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + file.size());
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): socket address type
    bound = bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0;
  }
  if (!bound || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace zv::test

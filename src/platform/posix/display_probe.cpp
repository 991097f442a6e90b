#include "platform/posix/display_probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace zv::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A DISPLAY value taken apart as Xlib's transport (libxcb) does:
// [protocol/][host]:display[.screen].
struct DisplayName {
  std::optional<std::string> protocol;
  std::string host;
  unsigned long display = 0;
};

std::optional<DisplayName> Parse(const std::string& text) {
  DisplayName name;
  std::string rest = text;
  if (const std::size_t slash = rest.rfind('/'); slash != std::string::npos) {
    name.protocol = rest.substr(0, slash);
    rest.erase(0, slash + 1);
  }
  const std::size_t colon = rest.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  name.host = rest.substr(0, colon);
  const char* number = rest.c_str() + colon + 1;
  char* end = nullptr;
  name.display = std::strtoul(number, &end, 10);
  if (end == number) return std::nullopt;
  if (*end != '\0') {
    if (*end != '.') return std::nullopt;
    const char* screen = end + 1;
    std::strtoul(screen, &end, 10);
    if (end == screen || *end != '\0') return std::nullopt;
  }
  return name;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events`; false at the deadline or on error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// A connected socket, or -1 with errno set. The connection is made without
// blocking, so an address that never completes it ends at the deadline.
int Connect(int family, const sockaddr* address, socklen_t size, Clock::time_point deadline) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int error = 0;
  if (connect(fd, address, size) != 0) {
    error = errno;
    if (error == EINPROGRESS || error == EINTR) {
      // Done when the socket turns writable; SO_ERROR then tells how.
      socklen_t length = sizeof error;
      if (!WaitFor(fd, POLLOUT, deadline)) {
        error = ETIMEDOUT;
      } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// The local socket of display `file` (/tmp/.X11-unix/X<n>), in the
// abstract namespace or in the file system.
int ConnectLocal(const std::string& file, bool abstract, Clock::time_point deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (file.size() + offset >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(&address.sun_path[offset], file.data(), file.size());
  const auto size = static_cast<socklen_t>(
      abstract ? offsetof(sockaddr_un, sun_path) + 1 + file.size() : sizeof address);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's address type
  return Connect(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), size, deadline);
}

// Port 6000 + display on `host` (a name, an address, or [IPv6 address]),
// trying each address the host has.
int ConnectTcp(const DisplayName& name, std::string host, Clock::time_point deadline) {
  if (name.protocol && *name.protocol != "tcp" && *name.protocol != "inet" &&
      *name.protocol != "inet6") {
    return -1;
  }
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICSERV;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  if (host.empty()) host = "localhost";
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    hints.ai_flags |= AI_NUMERICHOST;
    hints.ai_family = AF_INET6;
  }
  const std::string port = std::to_string(static_cast<unsigned short>(6000 + name.display));
  addrinfo* found = nullptr;
  // The name lookup is bounded by the resolver's own timeouts; a numeric
  // address or a name in the hosts file needs none.
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (const addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
    fd = Connect(at->ai_family, at->ai_addr, at->ai_addrlen, deadline);
  }
  freeaddrinfo(found);
  return fd;
}

// The socket Xlib would connect to, in the order it tries them.
int ConnectDisplay(const DisplayName& name, Clock::time_point deadline) {
  const bool unix_protocol = !name.protocol || *name.protocol == "unix";
  if ((!name.protocol || *name.protocol != "unix") && !name.host.empty() && name.host != "unix") {
    return ConnectTcp(name, name.host, deadline);
  }
  if (!unix_protocol) return -1;
  const std::string file = "/tmp/.X11-unix/X" + std::to_string(name.display);
  int fd = ConnectLocal(file, true, deadline);
  if (fd >= 0 || (errno != ENOENT && errno != ECONNREFUSED)) return fd;
  fd = ConnectLocal(file, false, deadline);
  if (fd < 0 && !name.protocol && name.host.empty()) fd = ConnectTcp(name, name.host, deadline);
  return fd;
}

// The first bytes of a connection setup: little-endian, protocol 11.0, no
// authorisation. Any server answers it at once, if only to refuse it.
constexpr std::array<unsigned char, 12> kSetupRequest = {0x6C, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};

bool Answers(int fd, Clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < kSetupRequest.size()) {
    // MSG_NOSIGNAL: a server that closed the connection must not raise
    // SIGPIPE in the host.
    const ssize_t n = send(fd, &kSetupRequest.at(sent), kSetupRequest.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n == 0 || (errno != EINTR && (errno != EAGAIN || !WaitFor(fd, POLLOUT, deadline)))) {
      return false;
    }
  }
  for (;;) {
    if (!WaitFor(fd, POLLIN, deadline)) return false;
    unsigned char status = 0;
    const ssize_t n = recv(fd, &status, 1, 0);
    if (n > 0) return true;
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) return false;
  }
}

}  // namespace

bool DisplayAnswers(const std::string& name, std::chrono::milliseconds bound) {
  const auto parsed = Parse(name);
  if (!parsed) return false;
  const auto deadline = Clock::now() + bound;
  const int fd = ConnectDisplay(*parsed, deadline);
  if (fd < 0) return false;
  const bool answers = Answers(fd, deadline);
  close(fd);
  return answers;
}

}  // namespace zv::platform

#include "platform/posix/display_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "common/posix/descriptor.h"
#include "common/posix/system_calls.h"

namespace zv::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events`; false at the deadline or on error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  pollfd entry{fd, events, 0};
  return common::RetryOnInterrupt([&] {
           const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
           return poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
         }) > 0;
}

// A socket connected to `address`, or none. The connection is made without
// blocking, so an address that never completes it ends at the deadline.
common::Descriptor Connect(const sockaddr* address, socklen_t size, Clock::time_point deadline) {
  common::Descriptor fd(socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int error = 0;
  socklen_t length = sizeof error;
  if (!fd.valid() ||
      (connect(fd.get(), address, size) != 0 &&
       (errno != EINPROGRESS || !WaitFor(fd.get(), POLLOUT, deadline) ||
        getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0))) {
    return {};
  }
  return fd;
}

// The local socket of the display, in the abstract namespace first, then in
// the file system.
common::Descriptor ConnectLocal(int display, Clock::time_point deadline) {
  const std::string file = "/tmp/.X11-unix/X" + std::to_string(display);
  common::Descriptor fd;
  for (const std::size_t offset : {1, 0}) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(&address.sun_path[offset], file.data(), file.size());
    const auto size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + file.size());
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API's address type
    if (!fd.valid()) fd = Connect(reinterpret_cast<const sockaddr*>(&address), size, deadline);
  }
  return fd;
}

// Port 6000 + display on `host` (a name, an address, or [IPv6 address]),
// trying each address the host has. The name lookup is bounded by the
// resolver's own timeouts; a numeric address or a name in the hosts file
// needs none.
common::Descriptor ConnectTcp(std::string host, int display, Clock::time_point deadline) {
  if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  const std::string port = std::to_string(static_cast<std::uint16_t>(6000 + display));
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return {};
  common::Descriptor fd;
  for (const addrinfo* at = found; at != nullptr && !fd.valid(); at = at->ai_next) {
    fd = Connect(at->ai_addr, at->ai_addrlen, deadline);
  }
  freeaddrinfo(found);
  return fd;
}

}  // namespace

// The socket is the one Xlib (libxcb) connects to, or one it would try
// first: a host other than "unix" means TCP, unless the protocol before a
// "/" is "unix"; else the local socket, then TCP to localhost when the name
// has neither host nor protocol. (Where the protocol is another one, Xlib
// fails at once, whatever the probe says.)
bool DisplayAnswers(const std::string& name, std::chrono::milliseconds bound) {
  const auto deadline = Clock::now() + bound;
  char* parsed = nullptr;
  int display = 0;
  int screen = 0;
  // An empty name would make libxcb read DISPLAY itself.
  if (name.empty() || xcb_parse_display(name.c_str(), &parsed, &display, &screen) == 0) {
    return false;
  }
  const std::string host = parsed;
  std::free(parsed);  // NOLINT(cppcoreguidelines-no-malloc): libxcb's allocation
  common::Descriptor fd;
  if (!host.empty() && host != "unix" && !name.starts_with("unix/")) {
    fd = ConnectTcp(host, display, deadline);
  } else if (fd = ConnectLocal(display, deadline); !fd.valid() && name.starts_with(':')) {
    fd = ConnectTcp("localhost", display, deadline);
  }
  // The first bytes of a connection setup: little-endian, protocol 11.0, no
  // authorisation. Any server answers it at once, if only to refuse it.
  // MSG_NOSIGNAL: a server that closed the connection must not raise
  // SIGPIPE in the host.
  constexpr std::array<unsigned char, 12> kSetup = {0x6C, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  unsigned char answer = 0;
  return fd.valid() && send(fd.get(), kSetup.data(), kSetup.size(), MSG_NOSIGNAL) > 0 &&
         WaitFor(fd.get(), POLLIN, deadline) &&
         common::RetryOnInterrupt([&] { return recv(fd.get(), &answer, 1, 0); }) == 1;
}

}  // namespace zv::platform

#include "zelvane-lcd/tcp_connection.h"

#include "common/posix/system_calls.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace zv::host {

const bool kTcpAvailable = true;

struct TcpConnection::Native {
  int fd = -1;
};

namespace {

// Connects `fd` (non-blocking) to `address` within `timeout`.
bool ConnectWithin(int fd, const addrinfo& address, std::chrono::milliseconds timeout,
                   std::string& error) {
  if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
    return true;
  }
  if (errno != EINPROGRESS) {
    error = std::strerror(errno);
    return false;
  }
  pollfd wait{fd, POLLOUT, 0};
  const int ready = poll(&wait, 1, static_cast<int>(timeout.count()));
  if (ready <= 0) {
    error = ready == 0 ? "connection timed out" : std::strerror(errno);
    return false;
  }
  int result = 0;
  socklen_t length = sizeof result;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length);
  if (result != 0) {
    error = std::strerror(result);
    return false;
  }
  return true;
}

}  // namespace

TcpConnection::TcpConnection(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TcpConnection::~TcpConnection() {
  if (native_->fd >= 0) {
    close(native_->fd);
  }
}

std::unique_ptr<TcpConnection> TcpConnection::Connect(const std::string& host,
                                                      const std::string& port,
                                                      std::chrono::milliseconds timeout,
                                                      std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  const int resolved = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
  if (resolved != 0) {
    error = gai_strerror(resolved);
    return nullptr;
  }
  std::unique_ptr<TcpConnection> connection;
  for (const addrinfo* address = addresses; address != nullptr && !connection;
       address = address->ai_next) {
    const int fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          address->ai_protocol);
    if (fd < 0) {
      error = std::strerror(errno);
      continue;
    }
    if (!ConnectWithin(fd, *address, timeout, error)) {
      close(fd);
      continue;
    }
    auto native = std::make_unique<Native>();
    native->fd = fd;
    connection.reset(new TcpConnection(std::move(native)));
  }
  freeaddrinfo(addresses);
  return connection;
}

bool TcpConnection::Send(std::string_view data, std::string& error) {
  constexpr int kSendTimeoutMs = 5000;
  while (!data.empty()) {
    // MSG_NOSIGNAL: a server that went away is an error here, not SIGPIPE.
    const ssize_t sent = common::RetryOnInterrupt(
        [&] { return send(native_->fd, data.data(), data.size(), MSG_NOSIGNAL); });
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The server does not read: wait a while, then give up on it.
      pollfd wait{native_->fd, POLLOUT, 0};
      if (poll(&wait, 1, kSendTimeoutMs) > 0) {
        continue;
      }
      error = "the server stopped reading";
      return false;
    }
    error = sent < 0 ? std::strerror(errno) : "connection closed";
    return false;
  }
  return true;
}

void TcpConnection::SendWithoutWaiting(std::string_view data) {
  send(native_->fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool TcpConnection::Receive(std::string& received, std::size_t most,
                            std::chrono::milliseconds timeout, std::string& error) {
  pollfd wait{native_->fd, POLLIN, 0};
  const int ready = poll(&wait, 1, static_cast<int>(timeout.count()));
  if (ready < 0) {
    return errno == EINTR;  // a signal: the caller looks at its stop flag
  }
  if (ready == 0) {
    return true;
  }
  std::array<char, 4096> chunk{};
  for (std::size_t taken = 0; taken < most;) {
    const ssize_t n = recv(native_->fd, chunk.data(), std::min(chunk.size(), most - taken), 0);
    if (n > 0) {
      received.append(chunk.data(), static_cast<std::size_t>(n));
      taken += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      return true;
    }
    error = n == 0 ? "connection closed by the server" : std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace zv::host

// The platforms without a TCP backend for the host (Windows): the lcdproc
// command says it is not available.
#include "zelvane-lcd/tcp_connection.h"

namespace zv::host {

const bool kTcpAvailable = false;

struct TcpConnection::Native {};

TcpConnection::TcpConnection(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TcpConnection::~TcpConnection() = default;

std::unique_ptr<TcpConnection> TcpConnection::Connect(const std::string& /*host*/,
                                                      const std::string& /*port*/,
                                                      std::chrono::milliseconds /*timeout*/,
                                                      std::string& error) {
  error = "not available on this platform";
  return nullptr;
}

bool TcpConnection::Send(std::string_view /*data*/, std::string& error) {
  error = "not available on this platform";
  return false;
}

void TcpConnection::SendWithoutWaiting(std::string_view /*data*/) {}

bool TcpConnection::Receive(std::string& /*received*/, std::size_t /*most*/,
                            std::chrono::milliseconds /*timeout*/, std::string& error) {
  error = "not available on this platform";
  return false;
}

}  // namespace zv::host

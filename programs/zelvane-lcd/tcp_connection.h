// A line-oriented TCP client connection, for the host's LCDd client. One
// backend per platform (host/posix/tcp_connection.cpp; Windows has none).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zv::host {

// Whether this platform has a backend (false on Windows, where the lcdproc
// command reports that it is not available).
extern const bool kTcpAvailable;

class TcpConnection {
 public:
  // Connects to `host`:`port` within `timeout`. Returns nullptr and sets
  // `error` on failure.
  static std::unique_ptr<TcpConnection> Connect(const std::string& host, const std::string& port,
                                                std::chrono::milliseconds timeout,
                                                std::string& error);
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  TcpConnection(TcpConnection&&) = delete;
  TcpConnection& operator=(TcpConnection&&) = delete;
  ~TcpConnection();

  // Sends all of `data`; false (and `error`) once the connection is lost.
  bool Send(std::string_view data, std::string& error);
  // Sends what of `data` the connection takes now, without waiting: the
  // last words of a client that was asked to stop.
  void SendWithoutWaiting(std::string_view data);
  // Waits up to `timeout` for data and appends what arrived to `received`,
  // at most `most` bytes: a peer that sends without pause never keeps the
  // caller from its deadlines and its stop requests. Returns false (and
  // `error`) when the peer closed the connection or it failed; true
  // otherwise, also when nothing arrived in time or a signal came.
  bool Receive(std::string& received, std::size_t most, std::chrono::milliseconds timeout,
               std::string& error);

 private:
  struct Native;
  explicit TcpConnection(std::unique_ptr<Native> native);
  std::unique_ptr<Native> native_;
};

}  // namespace zv::host

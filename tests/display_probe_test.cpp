// The display probe against servers of the test's own that answer at once:
// which DISPLAY values reach which socket (the abstract local one, the one
// in the file system, TCP), as Xlib would connect, and which are no display.
// Silent and stopped servers are in display_posix_test.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/display_probe.h"
#include "support/display_socket.h"

namespace {

using namespace std::chrono_literals;

// A listening socket that answers every connection with one byte, as an X
// server answers a connection setup (here: "failed") once it has read it,
// and closes it.
class AnsweringServer {
 public:
  using Kind = zv::test::DisplaySocket;

  // Display `number`'s socket of `kind`, or nullptr when it is taken.
  static std::unique_ptr<AnsweringServer> Open(Kind kind, int number) {
    const int fd = zv::test::ListenOnDisplay(kind, number);
    if (fd < 0) return nullptr;
    const std::string file =
        kind == Kind::kFile ? "/tmp/.X11-unix/X" + std::to_string(number) : std::string();
    return std::unique_ptr<AnsweringServer>(new AnsweringServer(fd, file));
  }
  AnsweringServer(const AnsweringServer&) = delete;
  AnsweringServer& operator=(const AnsweringServer&) = delete;
  AnsweringServer(AnsweringServer&&) = delete;
  AnsweringServer& operator=(AnsweringServer&&) = delete;
  ~AnsweringServer() {
    shutdown(fd_, SHUT_RDWR);  // ends the accept
    thread_.join();
    close(fd_);
    if (!file_.empty()) unlink(file_.c_str());
  }

 private:
  AnsweringServer(int fd, std::string file)
      : fd_(fd), file_(std::move(file)), thread_([fd] {
          for (int client = 0; (client = accept(fd, nullptr, nullptr)) >= 0;) {
            std::array<char, 12> setup{};
            (void)!read(client, setup.data(), setup.size());
            (void)!write(client, "", 1);
            close(client);
          }
        }) {}
  int fd_;
  std::string file_;
  std::thread thread_;
};

// A free display number from `first` on where the servers of `kinds` could
// all be opened; -1 when none was found.
int OpenDisplay(const std::vector<AnsweringServer::Kind>& kinds,
                std::vector<std::unique_ptr<AnsweringServer>>& servers, int first) {
  for (int number = first; number < first + 60; ++number) {
    if (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
        std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
      continue;
    }
    std::vector<std::unique_ptr<AnsweringServer>> opened;
    for (const auto kind : kinds) {
      if (auto server = AnsweringServer::Open(kind, number)) opened.push_back(std::move(server));
    }
    if (opened.size() == kinds.size()) {
      for (auto& server : opened) servers.push_back(std::move(server));
      return number;
    }
  }
  return -1;
}

TEST(DisplayProbe, DisplayValuesReachTheSocketsXlibConnectsTo) {
  using Kind = AnsweringServer::Kind;
  // Where X servers keep their sockets; open to all, as a server makes it.
  if (std::filesystem::create_directories("/tmp/.X11-unix")) chmod("/tmp/.X11-unix", 01777);
  std::vector<std::unique_ptr<AnsweringServer>> servers;
  // Display a: every socket answers; l: only the local abstract one;
  // f: only the one in the file system; t: only TCP.
  const int a = OpenDisplay({Kind::kAbstract, Kind::kFile, Kind::kTcp}, servers, 240);
  const int l = OpenDisplay({Kind::kAbstract}, servers, a + 1);
  const int f = OpenDisplay({Kind::kFile}, servers, l + 1);
  const int t = OpenDisplay({Kind::kTcp}, servers, f + 1);
  ASSERT_TRUE(a >= 0 && l > a && f > l && t > f) << "no free display numbers";
  const auto n = [](int number) { return std::to_string(number); };
  struct Case {
    std::string display;
    bool answers;
  };
  const std::vector<Case> cases = {
      {":" + n(a), true},
      {":" + n(a) + ".0", true},
      {":" + n(a) + ".3", true},  // the screen does not matter
      {"unix/:" + n(a), true},
      {"unix:" + n(a), true},
      {"127.0.0.1:" + n(a), true},
      {"tcp/127.0.0.1:" + n(a) + ".0", true},
      {"localhost:" + n(a), true},
      {":" + n(l), true},
      {"127.0.0.1:" + n(l), false},
      {":" + n(f), true},  // after the abstract socket, the file's
      {"unix:" + n(f) + ".1", true},
      {":" + n(t), true},  // no local socket: TCP to localhost
      {"unix/:" + n(t), false},
      {"unix:" + n(t), false},
      {"unix/127.0.0.1:" + n(t), false},  // the protocol says local
      {"127.0.0.1:" + n(t), true},
      {"", false},
      {"garbage", false},
      {":", false},
      {":x", false},
      {":" + n(a) + ".", false},
      {":" + n(a) + ".x", false},
      {n(a), false},
      {"no-such-host.invalid:" + n(a), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zv::platform::DisplayAnswers(c.display, 2s), c.answers) << "DISPLAY=" << c.display;
  }
}

}  // namespace

// The client loop of `zelvane-lcd lcdproc`: connect, say hello, make the screen,
// refresh it, and reconnect with a bounded back-off when LCDd goes away.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/printable.h"
#include "common/stop_signal.h"
#include "zelvane-lcd/lcdproc.h"
#include "zelvane-lcd/tcp_connection.h"

namespace zv::host {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kConnectTimeout{3000};
constexpr milliseconds kHelloTimeout{5000};
// Waits are cut into slices this long, so a stop request is honoured soon.
constexpr milliseconds kSlice{100};
// The most taken from the server at one wakeup: LCDd sends a few bytes per
// command, a server that floods is read in steps between which deadlines
// and stop requests count.
constexpr std::size_t kReadPerWakeup = std::size_t{16} * 1024;

// One connection to LCDd.
class Session {
 public:
  Session(std::unique_ptr<TcpConnection> connection, std::string server, RefusalLog& refusals)
      : connection_(std::move(connection)), server_(std::move(server)), refusals_(refusals) {}

  // Says hello and waits for the server's answer; false (and `error`) when
  // none comes.
  bool Hello(LcdSize& size, std::string& version, std::string& error) {
    if (!connection_->Send("hello\n", error)) {
      return false;
    }
    const auto deadline = Clock::now() + kHelloTimeout;
    while (Clock::now() < deadline && !common::StopRequested()) {
      std::string line;
      while (NextLine(line, error)) {
        if (const auto answer = ParseConnectAnswer(line)) {
          size = *answer;
          const auto at = line.find("LCDproc ");
          version = common::Printable(
              at != std::string::npos ? line.substr(at, line.find(" lcd ") - at) : line);
          return true;
        }
        if (line.rfind("huh?", 0) == 0) {
          error = "LCDd refused hello: " + common::Printable(line);
          return false;
        }
      }
      if (broken_ || !Receive(kSlice, error)) {
        return false;
      }
    }
    error = "no answer to hello";
    return false;
  }

  bool Send(const std::vector<std::string>& commands, std::string& error) {
    std::string data;
    for (const std::string& command : commands) {
      data += command;
      data += '\n';
    }
    return connection_->Send(data, error);
  }

  // Says goodbye, if the server takes it at once: a server that stopped
  // reading never holds up a client that was asked to stop.
  void Bye() { connection_->SendWithoutWaiting("bye\n"); }

  // Takes what the server sent until `until`, reporting its refusals
  // ("huh? ...") as the refusal log lets through. False when the connection
  // is lost or the server broke the protocol.
  bool Drain(Clock::time_point until, std::string& error) {
    do {
      const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
      if (!Receive(std::clamp(left, milliseconds(0), kSlice), error)) {
        return false;
      }
      std::string line;
      while (NextLine(line, error)) {
        if (line.rfind("huh?", 0) != 0) {
          continue;
        }
        if (const std::string report = refusals_.Take(line, Clock::now()); !report.empty()) {
          std::fprintf(stderr, "zelvane-lcd: LCDd at %s: %s\n", server_.c_str(), report.c_str());
        }
      }
      if (broken_) {
        return false;
      }
    } while (Clock::now() < until && !common::StopRequested());
    return true;
  }

 private:
  bool Receive(milliseconds timeout, std::string& error) {
    received_.clear();
    if (!connection_->Receive(received_, kReadPerWakeup, timeout, error)) {
      return false;
    }
    lines_.Append(received_);
    return true;
  }

  // Takes the next whole line. False when there is none yet, or (with
  // `error`, and the session broken) when the server sent one longer than
  // the protocol has.
  bool NextLine(std::string& line, std::string& error) {
    switch (lines_.Take(line)) {
      case ServerLines::Next::Line:
        return true;
      case ServerLines::Next::TooLong:
        broken_ = true;
        error = "it sent a line longer than " + std::to_string(kLongestServerLine) +
                " bytes, which LCDd never does; connection dropped";
        return false;
      case ServerLines::Next::None:
        break;
    }
    return false;
  }

  std::unique_ptr<TcpConnection> connection_;
  std::string server_;
  RefusalLog& refusals_;
  std::string received_;  // one wakeup's bytes
  ServerLines lines_;
  bool broken_ = false;
};

using Render = std::function<RenderedScreen(std::size_t)>;

// The client's run: one connection after another, until the count of frames
// is reached or a stop request.
class Client {
 public:
  Client(const LcdprocOptions& options, const std::vector<ScreenSpec>& screens,
         const Render& render)
      : options_(options),
        screens_(screens),
        render_(render),
        server_(ServerName(options)),
        period_(options.interval_ms) {}

  // Connects, shows the screens, and reconnects with a bounded back-off
  // whenever the connection fails or is lost.
  void Run() {
    int attempt = 0;
    std::string last_report;  // for RetryReport
    while (!common::StopRequested()) {
      std::string error;
      bool greeted = false;
      if (Visit(greeted, attempt, error) || common::StopRequested()) {
        return;
      }
      // Never spins: every attempt, failed or lost, waits first.
      const milliseconds delay = ReconnectDelay(attempt);
      const std::string report = RetryReport(server_, greeted, error, attempt++, last_report);
      if (!report.empty()) {
        std::fprintf(stderr, "zelvane-lcd: %s\n", report.c_str());
      }
      common::SleepUnlessStopped(delay);
    }
  }

 private:
  // "HOST:PORT", an IPv6 address in brackets, for messages.
  static std::string ServerName(const LcdprocOptions& options) {
    const bool bracket = options.host.find(':') != std::string::npos;
    return (bracket ? "[" + options.host + "]" : options.host) + ":" + options.port;
  }

  // One connection: hello, then frames. True when the run is over (the
  // count reached, or a stop request while connected); false (and `error`)
  // when the connection failed or was lost. `greeted` tells whether the
  // server answered hello, which starts the attempts anew.
  bool Visit(bool& greeted, int& attempt, std::string& error) {
    auto connection = TcpConnection::Connect(options_.host, options_.port, kConnectTimeout, error);
    if (!connection) {
      return false;
    }
    Session session(std::move(connection), server_, refusals_);
    LcdSize size;
    std::string version;
    if (!session.Hello(size, version, error)) {
      return false;
    }
    greeted = true;
    attempt = 0;
    LcdSize used = size;
    if (options_.max_columns > 0) {
      used.width = std::min<int>(used.width, static_cast<int>(options_.max_columns));
    }
    if (options_.max_rows > 0) {
      used.height = std::min<int>(used.height, static_cast<int>(options_.max_rows));
    }
    std::printf("zelvane-lcd: connected to %s at %s, display %dx%d\n", version.c_str(),
                server_.c_str(), size.width, size.height);
    std::fflush(stdout);
    return ShowFrames(session, used, error);
  }

  // Makes the screens, then sends a frame of each every period; as Visit.
  bool ShowFrames(Session& session, const LcdSize& used, std::string& error) {
    std::vector<bool> hidden(screens_.size(), true);
    bool alive = session.Send(ScreenSetupCommands(screens_, used.height, options_.charset), error);
    auto next = Clock::now();
    while (alive && !common::StopRequested()) {
      std::vector<std::string> commands;
      for (std::size_t i = 0; i < screens_.size(); ++i) {
        bool screen_hidden = hidden[i];
        const auto frame = FrameCommands(i + 1, render_(i), used, options_.charset, screen_hidden);
        hidden[i] = screen_hidden;
        commands.insert(commands.end(), frame.begin(), frame.end());
      }
      alive = session.Send(commands, error);
      ++frames_;
      if (options_.count > 0 && frames_ >= options_.count) {
        // Leave the last frame up for one period, as the live box does.
        if (alive) {
          session.Drain(Clock::now() + period_, error);
        }
        session.Bye();
        return true;
      }
      next = std::max(next + period_, Clock::now());
      alive = alive && session.Drain(next, error);
    }
    if (common::StopRequested()) {
      session.Bye();
      return true;
    }
    return false;
  }

  const LcdprocOptions& options_;
  const std::vector<ScreenSpec>& screens_;
  const Render& render_;
  const std::string server_;
  const milliseconds period_;
  long frames_ = 0;
  RefusalLog refusals_;  // across connections: a server that reconnects starts no new count
};

}  // namespace

int RunLcdproc(const LcdprocOptions& options, const std::vector<ScreenSpec>& screens,
               const std::function<RenderedScreen(std::size_t)>& render) {
  if (!kTcpAvailable) {
    std::fputs("zelvane-lcd: the lcdproc command is not available on this platform\n", stderr);
    return 2;
  }
  common::InstallStopHandlers();
  Client(options, screens, render).Run();
  return 0;
}

}  // namespace zv::host

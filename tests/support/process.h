// Running the stand-in programs from tests: to completion with their output
// captured, or in the background with a line-by-line view of their output.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zv::test {

// What a finished program left behind.
struct ProcessResult {
  int exit_code = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] is the program's path) and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// A program's output split at its newlines; a last line without one counts.
inline std::vector<std::string> OutputLines(const std::string& out) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < out.size();) {
    const auto end = out.find('\n', start);
    lines.push_back(out.substr(start, end - start));
    start = end == std::string::npos ? out.size() : end + 1;
  }
  return lines;
}

// A program running alongside the test; killed if still running at the end.
class BackgroundProcess {
 public:
  // Starts `argv` with its standard output readable through ReadLine().
  static std::unique_ptr<BackgroundProcess> Start(const std::vector<std::string>& argv);
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  BackgroundProcess(BackgroundProcess&&) = delete;
  BackgroundProcess& operator=(BackgroundProcess&&) = delete;
  ~BackgroundProcess();

  // Returns the next line of its output without the newline, or "" at the
  // end of its output or after `silence` (10 seconds) without any.
  std::string ReadLine(std::chrono::milliseconds silence = std::chrono::seconds(10));
  // Asks it to stop (Ctrl-C when `interrupt`, else a termination request)
  // and returns its exit code, as Wait() does. On Windows the termination
  // request is the stand-ins' stop event and an interrupt is Ctrl-Break
  // (see support/win32/process.cpp).
  int Stop(bool interrupt = false);
  // Waits for it to exit; returns its exit code, or -1 when a signal ended it.
  int Wait();
  // Ends it at once, as a crash would, with nothing cleaned up (SIGKILL;
  // TerminateProcess), and reaps it.
  void Kill();
  // Suspends every thread of it (SIGSTOP; NtSuspendProcess), and lets it
  // go on again (SIGCONT; NtResumeProcess).
  void Pause();
  void Resume();

 private:
  struct Native;  // the process and the read end of its output, per platform
  explicit BackgroundProcess(std::unique_ptr<Native> native);
  std::unique_ptr<Native> native_;
  std::string buffered_;
};

}  // namespace zv::test

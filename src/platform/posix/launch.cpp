#include "platform/launch.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/posix/system_calls.h"
#include "platform/exception.h"

namespace zv::platform {
namespace {

// An errno value's text, in the locale's language (UTF-8 where it is not
// English), as 1251 text for the message.
std::string ErrorText(int error) { return common::Utf8ToCp1251Lossy(std::strerror(error)); }

// Runs in the grandchild, which may only make async-signal-safe calls (the
// host may have other threads). Sets up a clean detached process and execs;
// on failure sends errno through `status` and exits.
[[noreturn]] void ExecDetached(const char* path, char* const argv[], int status) {
  int error = 0;
  // open and syscall are C variadics; the child has no other way to make these calls.
  const int null_fd = open("/dev/null", O_RDWR);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (null_fd < 0) {
    error = errno;
  } else {
    for (int fd = 0; fd < 3; ++fd) {
      if (null_fd != fd && dup2(null_fd, fd) < 0) error = errno;
    }
    if (null_fd > 2) close(null_fd);
  }
  // The host's other descriptors stay with the host.
  // NOLINTBEGIN(cppcoreguidelines-pro-type-vararg): close_range has no libc wrapper here
  if (status > 3) syscall(SYS_close_range, 3U, static_cast<unsigned>(status - 1), 0U);
  syscall(SYS_close_range, static_cast<unsigned>(status + 1), ~0U, 0U);
  // NOLINTEND(cppcoreguidelines-pro-type-vararg)
  // Signals the host blocks or ignores would stay so across exec.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (error == 0) {
    execv(path, argv);
    error = errno;
  }
  (void)!write(status, &error, sizeof error);
  _exit(127);
}

// A close-on-exec pipe whose both ends lie above the standard descriptors:
// in the program those are replaced by /dev/null, which would lose the
// report of a failed start. Returns false with errno set on failure.
bool StatusPipe(std::array<int, 2>& fds) {
  if (pipe2(fds.data(), O_CLOEXEC) != 0) return false;
  fds[0] = common::AboveStandardStreams(fds[0]);
  fds[1] = common::AboveStandardStreams(fds[1]);
  if (fds[0] >= 0 && fds[1] >= 0) return true;
  const int error = errno;
  for (const int fd : fds) {
    if (fd >= 0) close(fd);
  }
  errno = error;
  return false;
}

}  // namespace

// Double fork: the intermediate child starts a new session, forks the
// program and exits at once, so the program is adopted by init (never our
// zombie) and has no controlling terminal. A close-on-exec pipe reports
// whether exec succeeded: it closes empty on success, carries errno on
// failure.
void LaunchExecutable(const Text1251& path) {
  // Built before fork: the children may not allocate. The path is
  // Windows-1251 inside the plugin; the file system's names are UTF-8.
  const std::string name = common::Cp1251ToUtf8(path);
  std::vector<char> program(name.begin(), name.end());
  program.push_back('\0');
  const std::array<char*, 2> argv = {program.data(), nullptr};
  std::array<int, 2> pipe_fds{};
  if (!StatusPipe(pipe_fds)) {
    throw Exception("Cannot start " + path + ": " + ErrorText(errno));
  }
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    int error = 0;
    if (setsid() < 0) {
      error = errno;
    } else {
      const pid_t program = fork();
      if (program == 0) ExecDetached(name.c_str(), argv.data(), pipe_fds[1]);
      if (program < 0) error = errno;
    }
    if (error != 0) (void)!write(pipe_fds[1], &error, sizeof error);
    _exit(0);
  }
  const int fork_error = errno;
  close(pipe_fds[1]);
  if (child < 0) {
    close(pipe_fds[0]);
    throw Exception("Cannot start " + path + ": " + ErrorText(fork_error));
  }
  int status = 0;
  // ECHILD: the host ignores SIGCHLD, and the child was reaped for us.
  common::RetryOnInterrupt([&] { return waitpid(child, &status, 0); });
  int error = 0;
  const ssize_t n =
      common::RetryOnInterrupt([&] { return read(pipe_fds[0], &error, sizeof error); });
  close(pipe_fds[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    throw Exception("Cannot start " + path + ": " + ErrorText(error));
  }
}

}  // namespace zv::platform

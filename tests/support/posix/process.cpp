#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace zv::test {

struct BackgroundProcess::Native {
  pid_t pid;
  int out_fd;
};

namespace {

// Starts argv with stdout (and stderr, when err_fd is given) on new pipes.
int Spawn(const std::vector<std::string>& argv, int& out_fd, int* err_fd) {
  std::array<int, 2> out{};
  std::array<int, 2> err{-1, -1};
  if (pipe2(out.data(), O_CLOEXEC) != 0 ||
      (err_fd != nullptr && pipe2(err.data(), O_CLOEXEC) != 0)) {
    return -1;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(
        const_cast<char*>(arg.c_str()));  // NOLINT(cppcoreguidelines-pro-type-const-cast)
  }
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    if (err_fd != nullptr) {
      dup2(err[1], STDERR_FILENO);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  out_fd = out[0];
  if (err_fd != nullptr) {
    close(err[1]);
    *err_fd = err[0];
  }
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult result;
  int out_fd = -1;
  int err_fd = -1;
  const pid_t pid = Spawn(argv, out_fd, &err_fd);
  if (pid < 0) {
    return result;
  }
  // Drain both pipes together so that neither fills up and stalls the child.
  std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0 && poll(fds.data(), fds.size(), 30000) > 0) {
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      std::array<char, 4096> chunk{};
      const ssize_t n = read(fds[i].fd, chunk.data(), chunk.size());
      if (n > 0) {
        sinks[i]->append(chunk.data(), static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) {
      close(fd.fd);
      kill(pid, SIGKILL);
    }
  }
  result.exit_code = ExitCode(pid);
  return result;
}

std::unique_ptr<BackgroundProcess> BackgroundProcess::Start(const std::vector<std::string>& argv) {
  int out_fd = -1;
  const pid_t pid = Spawn(argv, out_fd, nullptr);
  return pid < 0 ? nullptr
                 : std::unique_ptr<BackgroundProcess>(
                       new BackgroundProcess(std::make_unique<Native>(Native{pid, out_fd})));
}

BackgroundProcess::BackgroundProcess(std::unique_ptr<Native> native) : native_(std::move(native)) {}

BackgroundProcess::~BackgroundProcess() {
  if (native_->pid > 0) {
    kill(native_->pid, SIGKILL);
    ExitCode(native_->pid);
  }
  close(native_->out_fd);
}

std::string BackgroundProcess::ReadLine(std::chrono::milliseconds silence) {
  for (;;) {
    const auto newline = buffered_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffered_.substr(0, newline);
      buffered_.erase(0, newline + 1);
      return line;
    }
    pollfd fd{native_->out_fd, POLLIN, 0};
    std::array<char, 256> chunk{};
    if (poll(&fd, 1, static_cast<int>(silence.count())) <= 0) {
      return "";
    }
    const ssize_t n = read(native_->out_fd, chunk.data(), chunk.size());
    if (n <= 0) {
      return "";
    }
    buffered_.append(chunk.data(), static_cast<std::size_t>(n));
  }
}

int BackgroundProcess::Stop(bool interrupt) {
  if (native_->pid <= 0) {
    return -1;  // already reaped; kill(-1, ...) would reach every process
  }
  kill(native_->pid, interrupt ? SIGINT : SIGTERM);
  return Wait();
}

void BackgroundProcess::Kill() {
  if (native_->pid > 0) {
    kill(native_->pid, SIGKILL);
    Wait();
  }
}

void BackgroundProcess::Pause() {
  if (native_->pid > 0) {
    kill(native_->pid, SIGSTOP);
  }
}

void BackgroundProcess::Resume() {
  if (native_->pid > 0) {
    kill(native_->pid, SIGCONT);
  }
}

int BackgroundProcess::Wait() {
  if (native_->pid <= 0) {
    return -1;
  }
  const int code = ExitCode(native_->pid);
  native_->pid = -1;
  return code;
}

}  // namespace zv::test

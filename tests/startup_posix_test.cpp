// Init and the launcher in a host that runs with its standard descriptors
// closed (a daemon that closed them, a service started without them).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "settings/startup.h"
#include "support/files.h"
#include "support/startup_support.h"

namespace {

using zv::test::StartupTest;

// Runs `body` in a forked copy of this process with descriptors 0, 1 and 2
// closed, and returns the line it reports.
template <typename Body>
std::string InHostWithoutStandardStreams(Body body) {
  std::array<int, 2> report{};
  if (pipe(report.data()) != 0 || report[0] <= STDERR_FILENO || report[1] <= STDERR_FILENO) {
    ADD_FAILURE() << "no pipe above the standard descriptors";
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    for (int fd = 0; fd <= STDERR_FILENO; ++fd) close(fd);
    const std::string line = body() + "\n";
    (void)!write(report[1], line.data(), line.size());
    _exit(0);
  }
  close(report[1]);
  std::string line;
  std::array<char, 256> buffer{};
  ssize_t n = 0;
  while ((n = read(report[0], buffer.data(), buffer.size())) > 0) {
    line.append(buffer.data(), static_cast<std::size_t>(n));
  }
  close(report[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the host copy crashed";
  return line;
}

// A failed start is reported at once, not after the whole wait for the
// monitor's memory; a started monitor gets /dev/null as its standard
// streams, never a descriptor of ours that took a closed one's place.
TEST_F(StartupTest, HostWithClosedStandardStreamsLaunchesCleanly) {
  Settings(true, zv::test::WriteUnstartableFile(home_.path()));
  const std::string failed = InHostWithoutStandardStreams([] {
    const auto start = std::chrono::steady_clock::now();
    const int result = zv::settings::Init();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    return std::to_string(result) + " " + std::to_string(prompts) + " " + std::to_string(ms) + " " +
           launch_error;
  });
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the figures for the logs
  std::printf("failed launch with descriptors 0-2 closed: Init %s (result, prompts, ms, error)\n",
              failed.c_str());
  const std::string expected_start = "-1 1 ";
  EXPECT_EQ(failed.rfind(expected_start, 0), 0U) << failed;
  EXPECT_NE(failed.find("Cannot start "), std::string::npos) << failed;

  Settings(true, zv::test::FakeMonitorPath());
  const std::string started =
      InHostWithoutStandardStreams([] { return std::to_string(zv::settings::Init()); });
  EXPECT_EQ(started, "0\n");
  const auto seen = zv::test::Report(report_);
  ASSERT_EQ(seen.count("fd0"), 1U) << zv::test::ReadFile(report_);
  for (const char* fd : {"fd0", "fd1", "fd2"}) EXPECT_EQ(seen.at(fd), "/dev/null") << fd;
}

}  // namespace

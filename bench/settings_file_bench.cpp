// Time and peak memory of loading and saving the settings for large
// settings files: blank lines with the plugin's section at the very end, so
// every byte is looked at. Each operation runs in a child process of its own,
// so its peak resident size is its own. Sizes in MB are the arguments
// (default 1 4 4.5 50); a size beyond what the store accepts shows its error.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "state/module_state.h"

namespace {

// Writes `megabytes` MB of blank lines, then the plugin's section.
void WriteBlankLines(const std::string& path, double megabytes) {
  const auto size = static_cast<std::size_t>(megabytes * 1024 * 1024);
  const std::string tail = "[ZV4]\nTry to run=1\nPath=/opt/zv4\n";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string chunk(1 << 20, '\n');
  std::size_t left = size > tail.size() ? size - tail.size() : 0;
  while (left > 0) {
    const std::size_t n = left < chunk.size() ? left : chunk.size();
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out << tail;
}

struct Outcome {
  double seconds = 0;
  double peak_mb = 0;
  std::string error;
};

// Runs `operation` in a child; its wall time, peak resident size and error.
template <typename Operation>
Outcome InChild(Operation operation) {
  std::array<int, 2> pipe_fds{-1, -1};
  if (pipe(pipe_fds.data()) != 0) return {0, 0, "pipe failed"};
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    std::string message;
    const auto start = std::chrono::steady_clock::now();
    try {
      operation();
    } catch (const std::exception& error) {
      message = error.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string report = std::to_string(seconds) + "\n" + message;
    (void)!write(pipe_fds[1], report.data(), report.size());
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string report;
  std::array<char, 4096> buffer{};
  for (ssize_t n = 0; (n = read(pipe_fds[0], buffer.data(), buffer.size())) > 0;) {
    report.append(buffer.data(), static_cast<std::size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Outcome outcome;
  const std::size_t nl = report.find('\n');
  if (nl == std::string::npos) return {0, 0, "the child died"};
  outcome.seconds = std::strtod(report.c_str(), nullptr);
  outcome.error = report.substr(nl + 1);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-union-access): glibc's rusage has unions
  outcome.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return outcome;
}

void Print(const char* what, double megabytes, const Outcome& outcome) {
  // NOLINTBEGIN(cppcoreguidelines-pro-type-vararg): a printf-style report
  std::printf("%-5s %7.1f MB file: %8.3f s, peak RSS %8.1f MB", what, megabytes, outcome.seconds,
              outcome.peak_mb);
  if (!outcome.error.empty()) std::printf("  (error: %s)", outcome.error.c_str());
  std::printf("\n");
  // NOLINTEND(cppcoreguidelines-pro-type-vararg)
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<double> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtod(argv[i], nullptr));
  if (sizes.empty()) sizes = {1, 4, 4.5, 50};

  const auto home = std::filesystem::temp_directory_path() /
                    ("zv-settings-file-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(home / "Documents");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  const std::string ini = (home / "Documents" / "Lumora3.ini").string();

  // The empty program's own peak, for reference.
  Print("none", 0, InChild([] {}));
  for (const double megabytes : sizes) {
    WriteBlankLines(ini, megabytes);
    Print("load", megabytes, InChild([] { zv::settings::LoadSettings(); }));
    Print("save", megabytes, InChild([] {
            zv::State().TryToRun = false;
            zv::State().MonitorPath = "/opt/zelvane 4/zv4";
            zv::settings::SaveSettings();
          }));
  }
  std::filesystem::remove_all(home);
  return 0;
}

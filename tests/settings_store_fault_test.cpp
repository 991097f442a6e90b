// Faults around the settings file on POSIX, each case counting its runs and
// what was lost: saves killed at random moments, a full disk, and hostile
// things in the file's place under Init. Counts: ZV_SETTINGS_KILLS (kills,
// default 300) and ZV_SETTINGS_FULL_DISK_RUNS (default 16).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/profile_file.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "settings/startup.h"
#include "state/module_state.h"
#include "support/files.h"
#include "support/profile_read.h"
#include "support/settings_fixture.h"

namespace {

using zv::State;
using zv::settings::SaveSettings;
using zv::test::ReadFile;
using zv::test::WriteFile;

int CountFromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text == nullptr ? 0 : std::atoi(text);
  return value > 0 ? value : fallback;
}

// The whole file after save number `n`: the plugin's keys between sections
// of others, launching on for odd n.
std::string Saved(long n) {
  return "; shared with the host\n[Main]\nkeep=1\n\n[ZV4]\nTry to run=" + std::to_string(n % 2) +
         "\nPath=/opt/zv4/run-" + std::to_string(n) + "\n[Last]\nz=2\n";
}

// The settings of save number `n`.
void SetFor(long n) {
  State().TryToRun = n % 2 == 1;
  State().MonitorPath = "/opt/zv4/run-" + std::to_string(n);
}

// The number of the save a file holds, if it is wholly one of them.
std::optional<long> SaveNumber(const std::string& text) {
  const std::string mark = "Path=/opt/zv4/run-";
  const std::size_t at = text.find(mark);
  if (at == std::string::npos) return std::nullopt;
  const long n = std::strtol(text.c_str() + at + mark.size(), nullptr, 10);
  if (text != Saved(n)) return std::nullopt;
  return n;
}

// Names in the folder other than the settings file.
std::vector<std::string> OtherEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() != zv::settings::kIniFileName)
      names.push_back(entry.path().filename());
  }
  return names;
}

class SettingsFaultTest : public zv::test::SettingsStoreTest {
 protected:
  std::string Documents() const { return home_.path() + "/Documents"; }
};

// A child saves over and over, numbers counting up; it is killed at a random
// moment within a few saves' time. The file must then be wholly the last
// save or the one before (never cut, never one key new and one old, other
// sections intact), and the next save (of this process) must leave no
// temporary file behind.
TEST_F(SettingsFaultTest, KilledSavesLeaveTheOldOrTheNewFile) {
  const int kills = CountFromEnvironment("ZV_SETTINGS_KILLS", 300);
  WriteFile(ini_, Saved(0));
  // How long one save takes here, for the moments of the kills.
  const auto start = std::chrono::steady_clock::now();
  for (long n = 1; n <= 20; ++n) {
    SetFor(n);
    SaveSettings();
  }
  const double save_us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
      20;
  long next = 21;
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> moment(0, 3 * save_us);
  int lost = 0;
  int caught_mid_save = 0;
  int temp_files_after_next_save = 0;
  int saves_seen = 0;
  for (int kill_number = 0; kill_number < kills; ++kill_number) {
    std::array<int, 2> ready{-1, -1};
    ASSERT_EQ(pipe(ready.data()), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      (void)!write(ready[1], "r", 1);
      try {
        for (long n = next;; ++n) {
          SetFor(n);
          SaveSettings();
        }
      } catch (...) {
        _exit(3);
      }
    }
    close(ready[1]);
    char byte = 0;
    (void)!read(ready[0], &byte, 1);
    close(ready[0]);
    std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(moment(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself: " << status;

    const std::string text = ReadFile(ini_);
    const std::optional<long> n = SaveNumber(text);
    if (!n || *n < next - 1) {
      if (++lost <= 3)
        ADD_FAILURE() << "after kill " << kill_number << " the file holds:\n" << text;
    } else {
      saves_seen += static_cast<int>(*n - (next - 1));
    }
    if (!OtherEntries(Documents()).empty()) ++caught_mid_save;
    // The next save: ours, which also clears what the killed one left.
    next = (n ? *n : next) + 1;
    SetFor(next);
    SaveSettings();
    ASSERT_EQ(ReadFile(ini_), Saved(next));
    temp_files_after_next_save += static_cast<int>(OtherEntries(Documents()).size());
    ++next;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): a printf-style report
  std::printf(
      "[ counts   ] %d kills during saves (one save %.0f us, kills within %.0f us): %d files lost "
      "or mixed, %d kills left a temporary file, %d temporary files left after the next save, "
      "%d saves completed by the killed processes\n",
      kills, save_us, 3 * save_us, lost, caught_mid_save, temp_files_after_next_save, saves_seen);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(temp_files_after_next_save, 0);
}

// Leaves the mount namespace of everyone else, so that a tmpfs mounted here
// is seen by this process only and goes with it. Returns why not, if not.
std::string PrivateMounts() {
  if (geteuid() != 0) return "needs root to mount a small tmpfs";
  if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
  if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return std::string("private mounts: ") + std::strerror(errno);
  }
  return {};
}

// Writes into `path` until the file system is full.
void FillUp(const std::string& path) {
  const std::string block(4096, 'f');
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  while (std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
  }
  std::fclose(file);
}

// On a small tmpfs filled up first, with room for between 0 and 15 of the
// new file's 16 pages: each save fails with a clear error naming the file,
// the old file stays whole and nothing is left beside it. Then, with room,
// the same save works.
TEST_F(SettingsFaultTest, AFullDiskLeavesTheOldFileAndAClearError) {
  const std::string why_not = PrivateMounts();
  if (!why_not.empty()) GTEST_SKIP() << "full disk not tried: " << why_not;
  const std::string docs = Documents();
  ASSERT_EQ(mount("zv-full-disk", docs.c_str(), "tmpfs", 0, "size=512k,mode=0755"), 0)
      << std::strerror(errno);
  struct Unmount {
    explicit Unmount(std::string folder) : at(std::move(folder)) {}
    Unmount(const Unmount&) = delete;
    Unmount& operator=(const Unmount&) = delete;
    Unmount(Unmount&&) = delete;
    Unmount& operator=(Unmount&&) = delete;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    std::string at;
  } unmount{docs};

  const int runs = CountFromEnvironment("ZV_SETTINGS_FULL_DISK_RUNS", 16);
  WriteFile(ini_, Saved(0));
  const std::string filler = docs + "/filler";
  FillUp(filler);
  State().TryToRun = true;
  State().MonitorPath =
      "/opt/" + std::string(std::size_t{16} * 4096, 'p');  // a new file of 16 pages and more
  int lost = 0;
  int clear_errors = 0;
  for (int run = 0; run < runs; ++run) {
    // Room for `run % 16` pages.
    std::filesystem::resize_file(filler, 0);
    FillUp(filler);
    struct statvfs info {};
    statvfs(docs.c_str(), &info);
    const std::uintmax_t size = std::filesystem::file_size(filler);
    const std::uintmax_t free_pages = static_cast<std::uintmax_t>(run % 16);
    std::filesystem::resize_file(filler, size > free_pages * 4096 ? size - free_pages * 4096 : 0);
    try {
      SaveSettings();
      ADD_FAILURE() << "saved on a full disk, run " << run;
    } catch (const zv::Exception& error) {
      const std::string message = error.what();
      if (message.find(ini_) != std::string::npos &&
          message.find("No space left on device") != std::string::npos) {
        ++clear_errors;
      } else {
        ADD_FAILURE() << message;
      }
    }
    if (ReadFile(ini_) != Saved(0) || OtherEntries(docs) != std::vector<std::string>{"filler"}) {
      ++lost;
    }
  }
  std::filesystem::remove(filler);
  SaveSettings();
  EXPECT_EQ(
      zv::test::ReadProfileString(ini_, zv::settings::kIniSection, zv::settings::kPathKey, ""),
      State().MonitorPath);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): a printf-style report
  std::printf(
      "[ counts   ] %d saves on a full disk: %d clear errors naming the file and the cause, %d "
      "old files lost or changed (or temporary files left)\n",
      runs, clear_errors, lost);
  EXPECT_EQ(clear_errors, runs);
  EXPECT_EQ(lost, 0);
}

// Init with things in the settings file's place that are no settings file.
// Each must end Init at once with the error naming the file (the start-up
// loop never begins), and stay as it was. A watchdog ends the process if
// Init hangs.
TEST_F(SettingsFaultTest, InitWithHostileThingsInTheFilesPlace) {
  struct Case {
    const char* name;
    void (*make)(const std::string& ini, const std::string& home);
    const char* error;
  };
  const std::vector<Case> cases = {
      {"a FIFO",
       [](const std::string& ini, const std::string&) { ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0); },
       "it is not a regular file"},
      {"a folder",
       [](const std::string& ini, const std::string&) { std::filesystem::create_directory(ini); },
       "it is not a regular file"},
      {"a link to /dev/zero",
       [](const std::string& ini, const std::string&) {
         std::filesystem::create_symlink("/dev/zero", ini);
       },
       "it is not a regular file"},
      {"a symlink loop",
       [](const std::string& ini, const std::string& home) {
         std::filesystem::create_symlink(home + "/loop", ini);
         std::filesystem::create_symlink(ini, home + "/loop");
       },
       "Too many levels of symbolic links"},
      {"a 50 MB file of blank lines",
       [](const std::string& ini, const std::string&) {
         WriteFile(ini, std::string(50U << 20, '\n') + "[ZV4]\nTry to run=1\nPath=/x\n");
       },
       "it is larger than 4 MiB"},
  };
  int runs = 0;
  int wrong = 0;
  for (const Case& c : cases) {
    std::filesystem::remove_all(ini_);
    std::filesystem::remove_all(home_.path() + "/loop");
    c.make(ini_, home_.path());
    struct stat before {};
    lstat(ini_.c_str(), &before);
    alarm(20);  // a hang ends the test process
    const auto start = std::chrono::steady_clock::now();
    std::string outcome;
    try {
      const int result = zv::settings::Init();
      outcome = "returned " + std::to_string(result);
    } catch (const zv::Exception& error) {
      outcome = error.what();
    }
    alarm(0);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++runs;
    struct stat after {};
    lstat(ini_.c_str(), &after);
    const bool as_expected = outcome == "Cannot read the settings file " + ini_ + ": " + c.error &&
                             before.st_mode == after.st_mode && before.st_ino == after.st_ino;
    if (!as_expected) {
      ++wrong;
      ADD_FAILURE() << c.name << ": " << outcome;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): a printf-style report
    std::printf("[ counts   ] Init with %s in the settings file's place: %.1f ms, %s\n", c.name, ms,
                outcome.c_str());
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): a printf-style report
  std::printf(
      "[ counts   ] %d hostile settings files under Init: %d hung, crashed or misreported\n", runs,
      wrong);
}

}  // namespace

// The host's configuration file (screens and LCDd client settings) and its
// log of plugin errors, which reports changes rather than frames.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zelvane-lcd/config_file.h"
#include "zelvane-lcd/error_log.h"

namespace {

using std::chrono::milliseconds;
using zv::host::DisplayCharset;
using zv::host::ParseHostConfig;

TEST(HostConfig, ScreensAndSettingsAsWritten) {
  const std::string text =
      "\xEF\xBB\xBF# comment\r\n"
      "  ; another\n"
      "[Client]\n"
      "Server = lcd:1234\n"
      "charset=utf-8\n"
      "interval-ms = 250\n"
      "plugin = /opt/z.so\n"
      "\n"
      "[screen CPU]\n"
      "duration = 2.5\n"
      "line = T $zvTemp[0]$°C # not a comment\n"
      "LINE =\n"
      "line = \"  a \\\"quoted\\\" \\\\ line \"\n"
      "[ screen  two words ]\n"
      "line=x=y";
  std::string error;
  const auto config = ParseHostConfig(text, "f.conf", error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->server, "lcd:1234");
  EXPECT_EQ(config->charset, DisplayCharset::Utf8);
  EXPECT_EQ(config->interval_ms, 250);
  EXPECT_EQ(config->plugin, "/opt/z.so");
  ASSERT_EQ(config->screens.size(), 2U);
  EXPECT_EQ(config->screens[0].name, "CPU");
  EXPECT_EQ(config->screens[0].duration, milliseconds(2500));
  EXPECT_EQ(config->screens[0].lines, (std::vector<std::string>{"T $zvTemp[0]$°C # not a comment",
                                                                "", "  a \"quoted\" \\ line "}));
  EXPECT_EQ(config->screens[1].name, "two words");
  EXPECT_EQ(config->screens[1].duration, milliseconds(0));
  EXPECT_EQ(config->screens[1].lines, std::vector<std::string>{"x=y"});

  const auto empty = ParseHostConfig("", "e", error);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->server || empty->charset || empty->interval_ms || empty->plugin);
  EXPECT_TRUE(empty->screens.empty());
}

TEST(HostConfig, FaultsNameTheFileTheLineAndWhatIsWrong) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"line = x", "f:1: \"line\" stands before any section ([client] or [screen NAME])"},
      {"[client]\n\njunk",
       "f:3: expected \"key = value\", a [section] or a comment, found \"junk\""},
      {"[client]\n = 1", "f:2: a key is missing before '='"},
      {"[client", "f:1: a section header must end with ']'"},
      {"[server]", "f:1: unknown section [server] (expected [client] or [screen NAME])"},
      {"[screen]", "f:1: a screen needs a name: [screen NAME]"},
      {"[client]\n[client]", "f:2: a second [client] section (the first is on line 1)"},
      {"[screen a]\nline=1\n[screen a]", "f:3: a second [screen a] (the first is on line 1)"},
      {"[screen a]\nline=1\n[screen b]\n# none", "f:3: [screen b] has no line"},
      {"[client]\nport = 1",
       "f:2: unknown key \"port\" in [client] (expected server, charset, "
       "interval-ms or plugin)"},
      {"[screen a]\nlines = 1",
       "f:2: unknown key \"lines\" in [screen a] (expected line or "
       "duration)"},
      {"[client]\nserver=a\nSERVER=b", "f:3: server is set twice in a section (also on line 2)"},
      {"[client]\nserver = a:b", "f:2: server must be HOST, HOST:PORT or [IPv6]:PORT, not \"a:b\""},
      {"[client]\ncharset = koi8-r", "f:2: charset must be cp1251, ascii or utf-8, not \"koi8-r\""},
      {"[client]\ninterval-ms = 0",
       "f:2: interval-ms must be a whole number from 1 to 3600000, "
       "not \"0\""},
      {"[client]\nplugin =", "f:2: plugin needs the path of the plugin module"},
      {"[screen a]\nline = \"x", "f:2: line: the quoted value has no closing quote"},
      {"[screen a]\nline = \"x\" y", "f:2: line: text after the closing quote"},
      {"[screen a]\nline = \"\\n\"", "f:2: line: a backslash in quotes must come before \" or \\"},
      {"[screen a]\nline = 45\xB0", "f:2: the line is not UTF-8 text (save the file as UTF-8)"},
      {"[screen a]\nline = \xC0\xB0", "f:2: the line is not UTF-8 text (save the file as UTF-8)"},
      {"[screen a]\nline = $zvTemp[0\0junk]$"s, "f:2: the line holds a NUL byte"},
      {"[client]\ncharset = \x1b[2J",
       "f:2: charset must be cp1251, ascii or utf-8, not \"\\x1b[2J\""},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseHostConfig(c.text, "f", error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  for (const char* bad : {"0", "0.1", "3600.5", "-1", "1e3", "2s", "", ".5", "nan", "inf"}) {
    std::string error;
    const std::string text = std::string("[screen a]\nline=x\nduration=") + bad;
    EXPECT_FALSE(ParseHostConfig(text, "f", error)) << bad;
    EXPECT_EQ(error.rfind("f:3: duration must be seconds from 0.125 to 3600", 0), 0U) << error;
  }
}

// Every file the programs read goes through one reader: a regular file of
// at most 1 MiB here, refused at once otherwise (a FIFO never blocks, a
// device is never read), with the reason.
TEST(HostConfig, OnlyARegularFileOfSensibleSizeIsRead) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() /
      ("zv-host-config-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(dir);
  std::ofstream(dir / "big.conf") << std::string((1U << 20U) + 1, '#');
  std::ofstream(dir / "good.conf") << "[screen a]\nline = 1\n";
  struct Case {
    fs::path path;
    std::string error;  // after "cannot read PATH: "; empty for none
  };
  std::vector<Case> cases = {
      {dir, "it is a folder, not a regular file"},
      {dir / "big.conf", "it is larger than 1 MiB"},
      {dir / "good.conf", ""},
  };
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "fifo", dir / "link");
  cases.insert(cases.end(), {
                                {dir / "missing.conf", "No such file or directory"},
                                {dir / "fifo", "it is a FIFO, not a regular file"},
                                {dir / "link", "it is a FIFO, not a regular file"},
                                {"/dev/zero", "it is a device, not a regular file"},
                                {"/dev/urandom", "it is a device, not a regular file"},
                            });
#endif
  for (const auto& c : cases) {
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const bool read = zv::host::LoadHostConfig(c.path.string(), error).has_value();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.path;
    EXPECT_EQ(read, c.error.empty()) << c.path;
    EXPECT_EQ(error, c.error.empty() ? "" : "cannot read " + c.path.string() + ": " + c.error);
  }
  fs::remove_all(dir);
}

// The check of a screen's name against the others' takes the same time for
// each: many screens cost no more than their lines.
TEST(HostConfig, ManyScreensAreReadInLinearTime) {
  std::string text;
  constexpr int kScreens = 50000;
  for (int i = 0; i < kScreens; ++i) {
    text += "[screen s" + std::to_string(i) + "]\nline = x\n";
  }
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseHostConfig(text, "f", error)->screens.size(), std::size_t{kScreens}) << error;
  EXPECT_FALSE(ParseHostConfig(text + "[screen s7]\n", "f", error));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(error, "f:100001: a second [screen s7] (the first is on line 15)");
}

TEST(HostErrorLog, ReportsAFailureOnceAgainWhenItChangesAndOnceWhenItClears) {
  using Errors = std::vector<zv::host::MacroError>;
  const auto frame = [](Errors errors, bool skipped = false) {
    zv::host::RenderedScreen screen;
    screen.errors = std::move(errors);
    screen.skipped = skipped;
    return screen;
  };
  using Lines = std::vector<std::string>;
  zv::host::ErrorLog log;
  const Errors two = {{1, "$t[9]$", "bad"}, {1, "$t[9]$", "bad"}};
  EXPECT_EQ(log.Update(0, "", frame(two)),
            (Lines{"plugin error: line 2, $t[9]$: bad", "plugin error: line 2, $t[9]$: bad"}));
  EXPECT_TRUE(log.Update(0, "", frame(two)).empty());
  // Another screen's state is its own.
  EXPECT_EQ(log.Update(1, "cpu", frame({{0, "$f$", "x"}})),
            Lines{"plugin error: screen \"cpu\", line 1, $f$: x"});
  EXPECT_EQ(log.Update(0, "", frame({{1, "$t[9]$", "worse"}})),
            (Lines{"plugin error cleared: line 2, $t[9]$", "plugin error: line 2, $t[9]$: worse"}));
  // A skipped screen was not asked past its condition: nothing clears.
  EXPECT_TRUE(log.Update(0, "", frame({}, true)).empty());
  EXPECT_EQ(log.Update(0, "", frame({})), Lines{"plugin error cleared: line 2, $t[9]$"});
  EXPECT_TRUE(log.Update(0, "", frame({})).empty());
  EXPECT_TRUE(log.Update(1, "cpu", frame({{0, "$f$", "x"}})).empty());
}

}  // namespace

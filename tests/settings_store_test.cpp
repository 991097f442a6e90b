// The settings store's contract on every platform: defaults, the boolean
// forms, the round trip, other sections left alone and values refused
// before anything is written.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/profile_file.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "state/module_state.h"
#include "support/files.h"
#include "support/profile_read.h"
#include "support/settings_fixture.h"

namespace {

using zv::State;
using zv::settings::LoadSettings;
using zv::settings::SaveSettings;
using zv::test::ReadFile;
using zv::test::SettingsStoreTest;
using zv::test::WriteFile;

// The text with Windows line ends as "\n": the profile functions of Windows
// write "\r\n".
std::string Lines(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

TEST_F(SettingsStoreTest, MissingFileSectionOrKeysGiveTheDefaults) {
  State().TryToRun = true;
  State().MonitorPath = "stale";
  LoadSettings();
  EXPECT_FALSE(State().TryToRun);
  EXPECT_EQ(State().MonitorPath, "");
  EXPECT_EQ(ReadFile(ini_), "(missing)");  // loading never creates the file

  for (const char* text : {"", "[Other]\nTry to run=1\nPath=/x\n", "[ZV4]\nunrelated=1\n"}) {
    State().TryToRun = true;
    State().MonitorPath = "stale";
    LoadFrom(text);
    EXPECT_FALSE(State().TryToRun) << text;
    EXPECT_EQ(State().MonitorPath, "") << text;
  }
}

TEST_F(SettingsStoreTest, FirstSaveCreatesTheSectionAndRoundTrips) {
  State().TryToRun = true;
  State().MonitorPath = "/opt/zelvane 4/zv4;run \xCF\xF3\xF2\xFC";
  SaveSettings();
  EXPECT_EQ(Lines(ReadFile(ini_)),
            "[ZV4]\nTry to run=1\nPath=/opt/zelvane 4/zv4;run \xCF\xF3\xF2\xFC\n");
  State().TryToRun = false;
  State().MonitorPath.clear();
  LoadSettings();
  EXPECT_TRUE(State().TryToRun);
  EXPECT_EQ(State().MonitorPath, "/opt/zelvane 4/zv4;run \xCF\xF3\xF2\xFC");

  // Launching off still writes the current path.
  State().TryToRun = false;
  SaveSettings();
  EXPECT_EQ(Lines(ReadFile(ini_)),
            "[ZV4]\nTry to run=0\nPath=/opt/zelvane 4/zv4;run \xCF\xF3\xF2\xFC\n");
  State().TryToRun = true;
  LoadSettings();
  EXPECT_FALSE(State().TryToRun);
}

TEST_F(SettingsStoreTest, BooleanForms) {
  struct Case {
    const char* value;
    bool expected;
  };
  const auto cases = std::to_array<Case>({
      {"1", true},    {"-3", true},          {"+7", true},           {" 1 ", true},
      {"0x10", true}, {"$1F", true},         {"2147483647", true},   {"-2147483648", true},
      {"0", false},   {"", false},           {"yes", false},         {"true", false},
      {"-0", false},  {"0x0", false},        {"1.0", false},         {"1 2", false},
      {"0x", false},  {"2147483648", false}, {"99999999999", false}, {"0x100000000", false},
      {"--1", false},
  });
  for (const Case& c : cases) {
    LoadFrom(std::string("[ZV4]\nTry to run=") + c.value + "\n");
    EXPECT_EQ(State().TryToRun, c.expected) << '"' << c.value << '"';
  }
}

TEST_F(SettingsStoreTest, LineBreaksInThePathAreRefusedWithoutWriting) {
  const std::string before = "[ZV4]\nTry to run=0\nPath=/old\n";
  for (const char* path : {"/a\nTry to run=1", "/a\r[Evil]", "/a\r\n"}) {
    WriteFile(ini_, before);
    State().TryToRun = true;
    State().MonitorPath = path;
    try {
      SaveSettings();
      ADD_FAILURE() << "saved a path with a line break";
    } catch (const zv::Exception& error) {
      EXPECT_NE(std::string(error.what()).find("line break"), std::string::npos) << error.what();
    }
    EXPECT_EQ(ReadFile(ini_), before);
    EXPECT_TRUE(State().TryToRun);  // the in-memory values stay as the dialog set them
  }
}

TEST_F(SettingsStoreTest, UnreadableFileIsAnErrorOnLoad) {
  std::filesystem::create_directory(ini_);  // a folder in the file's place
  EXPECT_THROW(LoadSettings(), zv::Exception);
  EXPECT_THROW(SaveSettings(), zv::Exception);
}

TEST_F(SettingsStoreTest, TheFileLiesInTheDocumentsFolder) {
  const std::string documents = home_.path() + zv::platform::kPathSeparator + "Documents";
  EXPECT_EQ(zv::platform::DocumentsFolder().bytes, documents);
  EXPECT_EQ(zv::settings::IniFilePath().bytes,
            documents + zv::platform::kPathSeparator + zv::settings::kIniFileName);
}

TEST_F(SettingsStoreTest, OtherSectionsAndKeysSurviveASave) {
  LoadFrom(
      "[Main]\r\nPath=C:\\host\r\nTry to "
      "run=5\r\n[ZV4]\r\nExtra=kept\r\nPath=old\r\n[Last]\r\nx=y\r\n");
  EXPECT_EQ(State().MonitorPath, "old");
  State().TryToRun = true;
  State().MonitorPath = "C:\\Zelvane\\zv4.exe";
  SaveSettings();
  using zv::settings::kIniSection;
  using zv::settings::kPathKey;
  using zv::settings::kTryToRunKey;
  using zv::test::ReadProfileString;
  const std::string& ini = ini_;
  EXPECT_EQ(ReadProfileString(ini, "Main", kPathKey, "-"), "C:\\host");
  EXPECT_EQ(ReadProfileString(ini, "Main", kTryToRunKey, "-"), "5");
  EXPECT_EQ(ReadProfileString(ini, kIniSection, "Extra", "-"), "kept");
  EXPECT_EQ(ReadProfileString(ini, "Last", "x", "-"), "y");
  EXPECT_EQ(ReadProfileString(ini, kIniSection, kPathKey, "-"), "C:\\Zelvane\\zv4.exe");
  EXPECT_EQ(ReadProfileString(ini, kIniSection, kTryToRunKey, "-"), "1");
  const std::string text = Lines(ReadFile(ini_));
  EXPECT_LT(text.find("[Main]"), text.find("[ZV4]"));
  EXPECT_LT(text.find("[ZV4]"), text.find("[Last]"));
}

}  // namespace

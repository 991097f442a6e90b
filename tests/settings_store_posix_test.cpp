// The settings store on POSIX: where the file lies (the XDG documents
// folder), and that a save changes only the plugin's two keys' lines of a
// file other programs share, atomically, keeping its permissions and links.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/posix/profile_text.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/settings_fixture.h"
#include "support/temp_home.h"

namespace {

using zv::settings::LoadSettings;
using zv::settings::MonitorPath;
using zv::settings::SaveSettings;
using zv::settings::TryToRun;
using zv::test::ReadFile;
using zv::test::SetEnvironment;
using zv::test::TempHome;
using zv::test::WriteFile;

// The same fixture; the cases keep a name of their own.
class PosixSettingsStoreTest : public zv::test::SettingsStoreTest {};

TEST_F(PosixSettingsStoreTest, SaveChangesOnlyTheTwoKeysLines) {
  // CRLF ends, a byte-order mark, comments, odd spacing, unparsable lines,
  // names in other cases, another section after ours and no final line end.
  const std::string before =
      "\xEF\xBB\xBF; host settings\r\n"
      "[Main]\r\n"
      "Path=C:\\host\r\n"
      "\r\n"
      "  [ zv4 ]  ; ours\r\n"
      "garbage line without equals\r\n"
      "   TRY TO RUN   =   0   \r\n"
      "; Path=commented out\r\n"
      "\tpath\t=\told value\t\r\n"
      "Extra = kept\r\n"
      "[Last]\r\n"
      "x=y";
  const std::string after =
      "\xEF\xBB\xBF; host settings\r\n"
      "[Main]\r\n"
      "Path=C:\\host\r\n"
      "\r\n"
      "  [ zv4 ]  ; ours\r\n"
      "garbage line without equals\r\n"
      "   TRY TO RUN   =   1\r\n"
      "; Path=commented out\r\n"
      "\tpath\t=\t/new/path\r\n"
      "Extra = kept\r\n"
      "[Last]\r\n"
      "x=y";
  LoadFrom(before);
  EXPECT_FALSE(TryToRun);
  EXPECT_EQ(MonitorPath, "old value");
  TryToRun = true;
  MonitorPath = "/new/path";
  SaveSettings();
  EXPECT_EQ(ReadFile(ini_), after);
}

TEST_F(PosixSettingsStoreTest, MissingKeysAreAddedToTheSectionInTheFilesLineEnding) {
  LoadFrom("[A]\r\na=1\r\n[zv4]\r\nOther=1\r\n\r\n[B]\r\nb=2");
  TryToRun = true;
  MonitorPath = "/p";
  SaveSettings();
  EXPECT_EQ(ReadFile(ini_),
            "[A]\r\na=1\r\n[zv4]\r\nOther=1\r\nTry to run=1\r\nPath=/p\r\n\r\n[B]\r\nb=2");

  WriteFile(ini_, "[A]\r\na=1");  // no final line end, no section of ours
  SaveSettings();
  EXPECT_EQ(ReadFile(ini_), "[A]\r\na=1\r\n[ZV4]\r\nTry to run=1\r\nPath=/p\r\n");
}

TEST_F(PosixSettingsStoreTest, UnwritableLocationIsAClearError) {
  // A folder that is a regular file stops everyone, root included.
  WriteFile(home_.path() + "/not-a-folder", "x");
  std::filesystem::create_directories(home_.path() + "/.config");
  WriteFile(home_.path() + "/.config/user-dirs.dirs",
            "XDG_DOCUMENTS_DIR=\"$HOME/not-a-folder/Documents\"\n");
  TryToRun = true;
  MonitorPath = "/p";
  try {
    SaveSettings();
    ADD_FAILURE() << "saved into a file";
  } catch (const zv::Exception& error) {
    EXPECT_NE(std::string(error.what()).find(home_.path() + "/not-a-folder/Documents/Lumora3.ini"),
              std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(TryToRun);
  EXPECT_EQ(MonitorPath, "/p");
}

TEST_F(PosixSettingsStoreTest, ReadOnlyFolderIsAClearError) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string docs = home_.path() + "/Documents";
  WriteFile(ini_, "[ZV4]\nPath=/old\n");
  chmod(docs.c_str(), 0555);
  MonitorPath = "/new";
  EXPECT_THROW(SaveSettings(), zv::Exception);
  chmod(docs.c_str(), 0755);
  EXPECT_EQ(ReadFile(ini_), "[ZV4]\nPath=/old\n");
}

TEST_F(PosixSettingsStoreTest, SaveKeepsPermissionsAndLinksAndLeavesNoTemporaryFile) {
  WriteFile(ini_, "[ZV4]\nPath=/old\n");
  chmod(ini_.c_str(), 0640);
  const std::string link = home_.path() + "/link.ini";
  std::filesystem::rename(ini_, link);
  std::filesystem::create_symlink(link, ini_);
  TryToRun = false;
  MonitorPath = "/new";
  SaveSettings();
  EXPECT_TRUE(std::filesystem::is_symlink(ini_));
  EXPECT_EQ(ReadFile(link), "[ZV4]\nPath=/new\nTry to run=0\n");
  struct stat info {};
  ASSERT_EQ(stat(link.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640U);
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(home_.path() + "/Documents")) {
    EXPECT_EQ(entry.path().filename(), "Lumora3.ini");
    ++entries;
  }
  EXPECT_EQ(entries, 1U);
}

// Where the file lies.
class DocumentsFolderTest : public ::testing::Test {
 protected:
  void UserDirs(const std::string& text) {
    std::filesystem::create_directories(home_.path() + "/.config");
    WriteFile(home_.path() + "/.config/user-dirs.dirs", text);
  }
  TempHome home_;
};

TEST_F(DocumentsFolderTest, XdgEntryWithHomeExpanded) {
  UserDirs(
      "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/"
      "\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/\"\n");
  EXPECT_EQ(
      zv::platform::DocumentsFolder(),
      home_.path() + "/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B");
  EXPECT_EQ(
      zv::settings::IniFilePath(),
      home_.path() +
          "/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/Lumora3.ini");

  UserDirs("XDG_DOCUMENTS_DIR=\"/srv/docs\"\nXDG_DOCUMENTS_DIR=\"/srv/later \\\"q\\\"\"\n");
  EXPECT_EQ(zv::platform::DocumentsFolder(), "/srv/later \"q\"");  // the last entry counts
}

TEST_F(DocumentsFolderTest, UnusableXdgEntriesFallBackToHomeDocuments) {
  for (const char* text :
       {"", "XDG_DOCUMENTS_DIR=relative/docs\n", "XDG_DOCUMENTS_DIR=\"docs\"\n",
        "XDG_DOCUMENTS_DIR=\"$HOMEWARD/x\"\n", "XDG_DOCUMENTS_DIR=\"/unclosed\n"}) {
    UserDirs(text);
    // Without a Documents folder the home folder itself holds the file.
    EXPECT_EQ(zv::platform::DocumentsFolder(), home_.path()) << text;
    std::filesystem::create_directory(home_.path() + "/Documents");
    EXPECT_EQ(zv::platform::DocumentsFolder(), home_.path() + "/Documents") << text;
    std::filesystem::remove(home_.path() + "/Documents");
  }
}

TEST_F(DocumentsFolderTest, WithoutHomeThePasswordDatabaseCounts) {
  SetEnvironment("HOME", nullptr);
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string home = entry->pw_dir;
  const std::string docs = home + "/Documents";
  const std::string expected = std::filesystem::is_directory(docs) ? docs : home;
  EXPECT_EQ(zv::platform::DocumentsFolder(), expected);  // XDG_CONFIG_HOME is our empty folder
}

// The editor on its own, for cases a settings file rarely shows.
TEST(ProfileTextTest, FirstMatchCountsAndDuplicateSectionsAreSearched) {
  using zv::platform::FindProfileValue;
  using zv::platform::SetProfileValue;
  std::string text = "[s]\na=1\na=2\n[t]\nb=3\n[S]\nc=4\n";
  EXPECT_EQ(FindProfileValue(text, "s", "a"), "1");
  EXPECT_EQ(FindProfileValue(text, "S", "c"), "4");
  EXPECT_EQ(FindProfileValue(text, "t", "a"), std::nullopt);
  EXPECT_EQ(FindProfileValue(text, "s", "b"), std::nullopt);
  ASSERT_TRUE(SetProfileValue(text, "s", "d", "5"));
  EXPECT_EQ(text, "[s]\na=1\na=2\nd=5\n[t]\nb=3\n[S]\nc=4\n");
  ASSERT_TRUE(SetProfileValue(text, "S", "c", ""));
  EXPECT_EQ(text, "[s]\na=1\na=2\nd=5\n[t]\nb=3\n[S]\nc=\n");
  EXPECT_EQ(FindProfileValue(text, "s", "c"), "");
  EXPECT_FALSE(SetProfileValue(text, "s", "a", "x\ny"));
  EXPECT_FALSE(SetProfileValue(text, "s", "a=b", "x"));
  EXPECT_FALSE(SetProfileValue(text, "s]", "a", "x"));
}

}  // namespace

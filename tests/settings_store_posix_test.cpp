// The settings store on POSIX: where the file lies (the XDG documents
// folder), that a save changes only the plugin's two keys' lines of a file
// other programs share, atomically, keeping its permissions and links, and
// that nothing but a regular file of bounded size is ever read or replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/posix/profile_file_io.h"
#include "platform/posix/profile_text.h"
#include "platform/text.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "state/module_state.h"
#include "support/files.h"
#include "support/settings_fixture.h"
#include "support/temp_home.h"

namespace {

using zv::State;
using zv::settings::kIniFileName;
using zv::settings::LoadSettings;
using zv::settings::SaveSettings;
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
  EXPECT_FALSE(State().TryToRun);
  EXPECT_EQ(State().MonitorPath, "old value");
  State().TryToRun = true;
  State().MonitorPath = "/new/path";
  SaveSettings();
  EXPECT_EQ(ReadFile(ini_), after);
}

TEST_F(PosixSettingsStoreTest, MissingKeysAreAddedToTheSectionInTheFilesLineEnding) {
  LoadFrom("[A]\r\na=1\r\n[zv4]\r\nOther=1\r\n\r\n[B]\r\nb=2");
  State().TryToRun = true;
  State().MonitorPath = "/p";
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
  State().TryToRun = true;
  State().MonitorPath = "/p";
  try {
    SaveSettings();
    ADD_FAILURE() << "saved into a file";
  } catch (const zv::Exception& error) {
    EXPECT_NE(
        std::string(error.what()).find(home_.path() + "/not-a-folder/Documents/" + kIniFileName),
        std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(State().TryToRun);
  EXPECT_EQ(State().MonitorPath, "/p");
}

TEST_F(PosixSettingsStoreTest, ReadOnlyFolderIsAClearError) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string docs = home_.path() + "/Documents";
  WriteFile(ini_, "[ZV4]\nPath=/old\n");
  chmod(docs.c_str(), 0555);
  State().MonitorPath = "/new";
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
  State().TryToRun = false;
  State().MonitorPath = "/new";
  SaveSettings();
  EXPECT_TRUE(std::filesystem::is_symlink(ini_));
  EXPECT_EQ(ReadFile(link), "[ZV4]\nPath=/new\nTry to run=0\n");
  struct stat info {};
  ASSERT_EQ(stat(link.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640U);
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(home_.path() + "/Documents")) {
    EXPECT_EQ(entry.path().filename(), kIniFileName);
    ++entries;
  }
  EXPECT_EQ(entries, 1U);
}

// The thing in `path`'s place: "file", "fifo", "char device", "link", ...
std::string KindOf(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return "missing";
  if (S_ISREG(info.st_mode)) return "file";
  if (S_ISFIFO(info.st_mode)) return "fifo";
  if (S_ISCHR(info.st_mode)) return "char device";
  if (S_ISDIR(info.st_mode)) return "folder";
  if (S_ISLNK(info.st_mode)) return "link";
  return "other";
}

// Expects `operation` to raise zv::Exception whose message holds `part`.
template <typename Operation>
void ExpectError(Operation operation, const std::string& part, const std::string& context) {
  try {
    operation();
    ADD_FAILURE() << context << ": no error";
  } catch (const zv::Exception& error) {
    EXPECT_NE(std::string(error.what()).find(part), std::string::npos)
        << context << ": " << error.what();
  }
}

// A character device of our own, the same as /dev/null, where root can make
// one (so that a faulty save could only ever replace this one); else
// /dev/null itself, which nobody else may replace.
std::string NullDevice(const std::string& folder) {
  std::string own = folder + "/null-device";
  if (geteuid() == 0 && mknod(own.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) return own;
  return "/dev/null";
}

TEST_F(PosixSettingsStoreTest, SpecialFilesAreNeverOpenedAndNeverReplaced) {
  const std::string device = NullDevice(home_.path());
  ASSERT_EQ(mkfifo((home_.path() + "/fifo").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::string target;  // what Lumora3.ini is, or links to
    bool direct;
  };
  const std::vector<Case> cases = {
      {"fifo", home_.path() + "/fifo", true},
      {"link to a fifo", home_.path() + "/fifo", false},
      {"link to a device", device, false},
      {"link to /dev/zero", "/dev/zero", false},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(ini_);
    if (c.direct) {
      std::filesystem::rename(c.target, ini_);
    } else {
      std::filesystem::create_symlink(c.target, ini_);
    }
    const std::string kind = KindOf(c.direct ? ini_ : c.target);
    State().TryToRun = true;
    State().MonitorPath = "/p";
    ExpectError(LoadSettings, ini_ + ": it is not a regular file", c.name);
    ExpectError(SaveSettings, ini_, c.name);
    // The thing is still what it was, and nothing was left beside it.
    EXPECT_EQ(KindOf(c.direct ? ini_ : c.target), kind) << c.name;
    EXPECT_EQ(KindOf(ini_), c.direct ? kind : "link") << c.name;
    EXPECT_TRUE(State().TryToRun);
    for (const auto& entry : std::filesystem::directory_iterator(home_.path() + "/Documents")) {
      EXPECT_EQ(entry.path().filename(), kIniFileName) << c.name;
    }
    if (c.direct) std::filesystem::rename(ini_, c.target);
  }
}

TEST_F(PosixSettingsStoreTest, LinkLoopsAndFoldersAreErrorsNamingThePath) {
  const std::string other = home_.path() + "/Documents/other.ini";
  std::filesystem::create_symlink(other, ini_);
  std::filesystem::create_symlink(ini_, other);
  ExpectError(LoadSettings, ini_ + ": Too many levels of symbolic links", "loop, load");
  ExpectError(SaveSettings, ini_ + ": Too many levels of symbolic links", "loop, save");
  EXPECT_EQ(KindOf(ini_), "link");
  std::filesystem::remove(other);
  std::filesystem::create_directory(other);  // a link to a folder
  ExpectError(LoadSettings, ini_ + ": it is not a regular file", "link to a folder, load");
  ExpectError(SaveSettings, ini_ + " (a link to " + other + "): it is not a regular file",
              "link to a folder, save");
  EXPECT_EQ(KindOf(other), "folder");
}

TEST_F(PosixSettingsStoreTest, FilesBeyondTheSizeBoundAreRefused) {
  // Exactly the bound is read, the section at its very end.
  const std::string tail = "[ZV4]\nTry to run=1\nPath=/far\n";
  std::string text(zv::platform::kMaxProfileFileSize - tail.size(), '\n');
  text += tail;
  LoadFrom(text);
  EXPECT_TRUE(State().TryToRun);
  EXPECT_EQ(State().MonitorPath, "/far");
  State().MonitorPath = "/rfa";  // as long as before: the file stays at the bound
  SaveSettings();
  // (Not EXPECT_EQ: gtest's diff of two 4 MiB texts takes minutes.)
  EXPECT_TRUE(ReadFile(ini_) == text.substr(0, text.size() - 4) + "rfa\n");

  // One byte more is an error naming the file, on load and on save; the
  // file stays as it was.
  text.insert(0, "\n");
  WriteFile(ini_, text);
  ExpectError(LoadSettings, ini_ + ": it is larger than 4 MiB", "load");
  ExpectError(SaveSettings, ini_ + ": it is larger than 4 MiB", "save");
  EXPECT_EQ(std::filesystem::file_size(ini_), text.size());
}

TEST_F(PosixSettingsStoreTest, ADanglingLinkGetsItsTargetAndStays) {
  // A relative link into a folder of its own, its target not there yet.
  std::filesystem::create_directory(home_.path() + "/synced");
  std::filesystem::create_symlink(std::string("../synced/") + kIniFileName, ini_);
  LoadSettings();  // a missing file: the defaults
  EXPECT_FALSE(State().TryToRun);
  State().TryToRun = true;
  State().MonitorPath = "/p";
  SaveSettings();
  EXPECT_EQ(KindOf(ini_), "link");
  EXPECT_EQ(ReadFile(home_.path() + "/synced/" + kIniFileName), "[ZV4]\nTry to run=1\nPath=/p\n");

  // A chain of links leads to the file at its end.
  std::filesystem::remove(ini_);
  std::filesystem::create_symlink(home_.path() + "/second.ini", ini_);
  std::filesystem::create_symlink(std::string("synced/") + kIniFileName,
                                  home_.path() + "/second.ini");
  State().MonitorPath = "/q";
  SaveSettings();
  EXPECT_EQ(KindOf(home_.path() + "/second.ini"), "link");
  EXPECT_EQ(ReadFile(home_.path() + "/synced/" + kIniFileName), "[ZV4]\nTry to run=1\nPath=/q\n");

  // A link into a folder that does not exist is an error naming both.
  std::filesystem::remove(ini_);
  std::filesystem::create_symlink(home_.path() + "/none/" + kIniFileName, ini_);
  ExpectError(SaveSettings, ini_ + " (a link to " + home_.path() + "/none/" + kIniFileName + ")",
              "link into nowhere");
  EXPECT_EQ(KindOf(ini_), "link");
}

// A save writes ".Lumora3.ini.tmp" beside the file and holds a lock on it
// until it is renamed into place. One that nobody holds was left by a save
// that was killed (any content, a FIFO) and goes with the next save; one
// that is held belongs to a save under way, and the next save fails
// without touching it or the file.
TEST_F(PosixSettingsStoreTest, TemporaryFilesOfKilledSavesGoAndHeldOnesStay) {
  const std::string temp = home_.path() + "/Documents/." + kIniFileName + ".tmp";
  const std::string others = home_.path() + "/Documents/.Other.ini.tmp";
  WriteFile(others, "x");
  struct Case {
    const char* name;
    bool fifo;
    bool held;
  };
  const std::vector<Case> cases = {
      {"left with content", false, false},
      {"left as a FIFO", true, false},
      {"held by a save under way", false, true},
  };
  for (const Case& c : cases) {
    WriteFile(ini_, "[ZV4]\nPath=/old\n");
    std::filesystem::remove(temp);
    if (c.fifo) {
      ASSERT_EQ(mkfifo(temp.c_str(), 0600), 0);
    } else {
      WriteFile(temp, "[ZV4]\nPath=/half");
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open is a C variadic
    const int held = open(temp.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0) << c.name;
    if (c.held) {
      ASSERT_EQ(flock(held, LOCK_EX), 0);
    }
    State().MonitorPath = "/new";
    if (c.held) {
      ExpectError(SaveSettings, ini_ + ": " + std::strerror(EWOULDBLOCK), c.name);
      EXPECT_EQ(ReadFile(ini_), "[ZV4]\nPath=/old\n") << c.name;
      EXPECT_EQ(ReadFile(temp), "[ZV4]\nPath=/half") << c.name;
    } else {
      SaveSettings();
      EXPECT_EQ(ReadFile(ini_), "[ZV4]\nPath=/new\nTry to run=0\n") << c.name;
      EXPECT_EQ(KindOf(temp), "missing") << c.name;
    }
    close(held);
  }
  EXPECT_EQ(KindOf(others), "file");
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
      zv::platform::DocumentsFolder().bytes,
      home_.path() + "/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B");
  EXPECT_EQ(zv::settings::IniFilePath().bytes,
            home_.path() +
                "/\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B/" +
                kIniFileName);

  UserDirs("XDG_DOCUMENTS_DIR=\"/srv/docs\"\nXDG_DOCUMENTS_DIR=\"/srv/later \\\"q\\\"\"\n");
  EXPECT_EQ(zv::platform::DocumentsFolder().bytes, "/srv/later \"q\"");  // the last entry counts
}

TEST_F(DocumentsFolderTest, UnusableXdgEntriesFallBackToHomeDocuments) {
  for (const char* text :
       {"", "XDG_DOCUMENTS_DIR=relative/docs\n", "XDG_DOCUMENTS_DIR=\"docs\"\n",
        "XDG_DOCUMENTS_DIR=\"$HOMEWARD/x\"\n", "XDG_DOCUMENTS_DIR=\"/unclosed\n"}) {
    UserDirs(text);
    // Without a Documents folder the home folder itself holds the file.
    EXPECT_EQ(zv::platform::DocumentsFolder().bytes, home_.path()) << text;
    std::filesystem::create_directory(home_.path() + "/Documents");
    EXPECT_EQ(zv::platform::DocumentsFolder().bytes, home_.path() + "/Documents") << text;
    std::filesystem::remove(home_.path() + "/Documents");
  }
}

TEST_F(DocumentsFolderTest, AUserDirsFileThatIsNoFileIsAnError) {
  std::filesystem::create_directories(home_.path() + "/.config");
  const std::string file = home_.path() + "/.config/user-dirs.dirs";
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  ExpectError(zv::platform::DocumentsFolder, file + ": it is not a regular file", "fifo");
  std::filesystem::remove(file);
  std::filesystem::create_symlink("/dev/zero", file);
  ExpectError(zv::platform::DocumentsFolder, file + ": it is not a regular file", "/dev/zero");
  std::filesystem::remove(file);
  WriteFile(file, std::string(zv::platform::kMaxProfileFileSize + 1, '#'));
  ExpectError(zv::platform::DocumentsFolder, file + ": it is larger than 4 MiB", "large");
}

TEST_F(DocumentsFolderTest, WithoutHomeThePasswordDatabaseCounts) {
  SetEnvironment("HOME", nullptr);
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string home = entry->pw_dir;
  const std::string docs = home + "/Documents";
  const std::string expected = std::filesystem::is_directory(docs) ? docs : home;
  EXPECT_EQ(zv::platform::DocumentsFolder().bytes,
            expected);  // XDG_CONFIG_HOME is our empty folder
}

// Messages reach the host as 1251 text, also where they name a path that
// the file system spells in UTF-8: here a documents folder "Документы".
class CyrillicDocumentsTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolderUtf8 =
      "\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B";
  static constexpr const char* kFolder1251 = "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB";

  void SetUp() override { UseDocuments(kFolderUtf8); }

  // Makes $HOME/`name` the documents folder, through the user-dirs file.
  void UseDocuments(const std::string& name) {
    std::filesystem::create_directories(home_.path() + "/.config");
    std::filesystem::create_directories(home_.path() + "/" + name);
    WriteFile(home_.path() + "/.config/user-dirs.dirs",
              "XDG_DOCUMENTS_DIR=\"$HOME/" + name + "\"\n");
    ini_ = home_.path() + "/" + name + "/" + kIniFileName;
  }

  // The settings file's path as the messages spell it.
  [[nodiscard]] std::string Shown() const {
    return home_.path() + "/" + kFolder1251 + "/" + kIniFileName;
  }

  TempHome home_;
  std::string ini_;
};

// The exact message of the error `operation` raises.
template <typename Operation>
std::string MessageOf(Operation operation) {
  try {
    operation();
  } catch (const zv::Exception& error) {
    return error.what();
  }
  return "(no error)";
}

TEST_F(CyrillicDocumentsTest, SettingsErrorsNameTheFileIn1251) {
  EXPECT_EQ(zv::platform::PathText(zv::settings::IniFilePath()), Shown());

  std::filesystem::create_directory(ini_);  // a folder in the file's place
  EXPECT_EQ(MessageOf(LoadSettings),
            "Cannot read the settings file " + Shown() + ": it is not a regular file");
  EXPECT_EQ(MessageOf(SaveSettings),
            "Cannot write the settings file " + Shown() + ": it is not a regular file");
  std::filesystem::remove(ini_);

  State().MonitorPath = "/opt/zv4\n[Evil]";
  EXPECT_EQ(MessageOf(SaveSettings),
            "The monitor path contains a line break and cannot be saved in " + Shown());

  // A link into a missing folder, both named in the message.
  State().MonitorPath = "/p";
  std::filesystem::create_symlink(home_.path() + "/" + kFolderUtf8 + "/none/" + kIniFileName, ini_);
  EXPECT_EQ(MessageOf(SaveSettings), "Cannot write the settings file " + Shown() + " (a link to " +
                                         home_.path() + "/" + kFolder1251 + "/none/" +
                                         kIniFileName + "): " + std::strerror(ENOENT));
}

TEST_F(CyrillicDocumentsTest, AUserDirsFileUnderACyrillicFolderIsNamedIn1251) {
  const std::string config = home_.path() + "/" + kFolderUtf8;
  SetEnvironment("XDG_CONFIG_HOME", config.c_str());
  ASSERT_EQ(mkfifo((config + "/user-dirs.dirs").c_str(), 0600), 0);
  EXPECT_EQ(MessageOf(zv::platform::DocumentsFolder),
            "Cannot read " + home_.path() + "/" + kFolder1251 +
                "/user-dirs.dirs: it is not a regular file");
}

TEST_F(CyrillicDocumentsTest, NamesThatAreNoUtf8ShowQuestionMarks) {
  UseDocuments("docs-\xFF\xFE-x");
  std::filesystem::create_directory(ini_);
  EXPECT_EQ(MessageOf(LoadSettings), "Cannot read the settings file " + home_.path() +
                                         "/docs-\?\?-x/" + kIniFileName +
                                         ": it is not a regular file");
}

TEST(PathTextTest, EveryCharacterBecomes1251OrAQuestionMark) {
  using zv::platform::PathText;
  EXPECT_EQ(PathText({""}), "");
  EXPECT_EQ(PathText({"/opt/zv4 (x86)/run.sh"}), "/opt/zv4 (x86)/run.sh");
  EXPECT_EQ(PathText({"/\xD0\x9F\xD1\x83\xD1\x82\xD1\x8C"}), "/\xCF\xF3\xF2\xFC");  // "Путь"
  EXPECT_EQ(PathText({"/\xE2\x82\xAC"}), "/\x88");       // the euro sign is in 1251
  EXPECT_EQ(PathText({"/\xE4\xB8\xAD/a"}), "/?/a");      // a CJK letter is not
  EXPECT_EQ(PathText({"/\xF0\x9F\x98\x80/a"}), "/?/a");  // nor one beyond 16 bits
  EXPECT_EQ(PathText({"/\xFF\x80/a"}), "/\?\?/a");       // stray bytes, one mark each
  EXPECT_EQ(PathText({"/a\xD0"}), "/a?");                // a sequence cut at the end
  EXPECT_EQ(PathText({"/\xD0"
                      "a"}),
            "/?a");  // a lead byte without its follower
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

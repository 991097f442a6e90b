// The settings store on Windows: a documents folder whose place cannot be
// reached reads as no file (and a save says so), and the rules for the
// documents folder's path.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "platform/win32/documents_folder_rules.h"
#include "settings/settings_store.h"
#include "state/module_state.h"
#include "support/files.h"
#include "support/settings_fixture.h"

namespace {

using zv::State;
using zv::platform::IsFullPath;
using zv::platform::IsUnreachablePathError;
using zv::platform::WithoutTrailingSeparator;
using zv::settings::LoadSettings;
using zv::settings::SaveSettings;

TEST(DocumentsFolderRulesTest, OnlyASeparatorOfItsOwnIsCut) {
  for (const unsigned code_page : {1251U, 932U}) {
    EXPECT_EQ(WithoutTrailingSeparator("C:\\", code_page), "C:");
    EXPECT_EQ(WithoutTrailingSeparator("d:/", code_page), "d:");
    EXPECT_EQ(WithoutTrailingSeparator("C:\\Users\\me\\Documents\\", code_page),
              "C:\\Users\\me\\Documents");
    EXPECT_EQ(WithoutTrailingSeparator("C:\\Users\\me\\Documents", code_page),
              "C:\\Users\\me\\Documents");
    EXPECT_EQ(WithoutTrailingSeparator("\\\\server\\share", code_page), "\\\\server\\share");
    EXPECT_EQ(WithoutTrailingSeparator("", code_page), "");
  }
  // Shift-JIS: "\x95\x5C" is one character whose second byte is a backslash;
  // in 1251 the same bytes are two characters, the second a backslash.
  EXPECT_EQ(WithoutTrailingSeparator("C:\\\x95\x5C", 932), "C:\\\x95\x5C");
  EXPECT_EQ(WithoutTrailingSeparator("C:\\\x95\x5C\\", 932), "C:\\\x95\x5C");
  EXPECT_EQ(WithoutTrailingSeparator("C:\\a\x95\x5C\x95\x5C", 932), "C:\\a\x95\x5C\x95\x5C");
  EXPECT_EQ(WithoutTrailingSeparator("C:\\\x95\x5C", 1251), "C:\\\x95");
  // A lead byte that ends the text has no second byte to take.
  EXPECT_EQ(WithoutTrailingSeparator("C:\\a\x95", 932), "C:\\a\x95");
}

TEST(DocumentsFolderRulesTest, FullPathsAreADrivesOrAShares) {
  EXPECT_TRUE(IsFullPath("C:\\"));
  EXPECT_TRUE(IsFullPath("z:/x"));
  EXPECT_TRUE(IsFullPath("\\\\server\\share"));
  EXPECT_FALSE(IsFullPath("?5"));
  EXPECT_FALSE(IsFullPath("C:"));
  EXPECT_FALSE(IsFullPath("Documents"));
  EXPECT_FALSE(IsFullPath("\\Documents"));
  EXPECT_FALSE(IsFullPath(""));
}

TEST(DocumentsFolderRulesTest, UnreachablePlacesAreTheOnesWithoutAFile) {
  for (const DWORD error :
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_NOT_READY,
        ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ERROR_BAD_DEV_TYPE, ERROR_NETWORK_UNREACHABLE,
        ERROR_HOST_UNREACHABLE}) {
    EXPECT_TRUE(IsUnreachablePathError(error)) << error;
  }
  for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOGON_FAILURE,
                            ERROR_INVALID_NAME, ERROR_SUCCESS}) {
    EXPECT_FALSE(IsUnreachablePathError(error)) << error;
  }
}

// The user's documents folder set to any path (the fixture's home puts it
// back afterwards).
void SetDocumentsFolder(const std::string& folder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell "
                            "Folders",
                            0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the API takes bytes
  RegSetValueExA(key, "Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(key);
}

// A drive letter this system does not have.
std::string MissingDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int letter = 'Q'; letter <= 'Y'; ++letter) {
    if ((drives & (1U << (letter - 'A'))) == 0) return std::string(1, static_cast<char>(letter));
  }
  return {};
}

class UnreachableDocumentsTest : public zv::test::SettingsStoreTest {
 protected:
  // Loading from `folder` gives the defaults; saving is an error naming the file.
  void ExpectDefaultsAndASaveError(const std::string& folder) {
    SetDocumentsFolder(folder);
    EXPECT_EQ(zv::platform::DocumentsFolder().bytes, folder);
    State().TryToRun = true;
    State().MonitorPath = "stale";
    EXPECT_NO_THROW(LoadSettings());
    EXPECT_FALSE(State().TryToRun);
    EXPECT_EQ(State().MonitorPath, "");
    State().TryToRun = true;
    State().MonitorPath = "C:\\zv4.exe";
    try {
      SaveSettings();
      ADD_FAILURE() << "saved into " << folder;
    } catch (const zv::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(folder + "\\" + zv::settings::kIniFileName),
                std::string::npos)
          << error.what();
    }
  }
};

TEST_F(UnreachableDocumentsTest, MissingDriveGivesTheDefaults) {
  const std::string drive = MissingDrive();
  if (drive.empty()) GTEST_SKIP() << "every drive letter from Q to Y is in use";
  ExpectDefaultsAndASaveError(drive + ":\\Documents");
}

TEST_F(UnreachableDocumentsTest, UnreachableShareGivesTheDefaults) {
  ExpectDefaultsAndASaveError("\\\\zv-unreachable.invalid\\share\\Documents");
}

TEST_F(UnreachableDocumentsTest, RemovedFolderGivesTheDefaults) {
  ExpectDefaultsAndASaveError(home_.path() + "\\Removed");
}

// Messages reach the host as 1251 text: a documents folder named in the ANSI
// code page is converted, its letters that 1251 lacks shown as '?'. Where
// the ANSI code page is 1251, as on the host's own systems, the bytes stay.
TEST_F(UnreachableDocumentsTest, MessagesNameTheFolderIn1251) {
  const bool ansi_is_1251 = GetACP() == 1251;
  if (!ansi_is_1251 && GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string folder = home_.path() + "\\Caf\xE9 \xC4";  // "Café Ä" in code page 1252
  const std::string shown = ansi_is_1251 ? folder : home_.path() + "\\Caf? ?";
  EXPECT_EQ(zv::platform::PathText({folder}), shown);
  SetDocumentsFolder(folder);
  ASSERT_EQ(zv::platform::DocumentsFolder().bytes, folder);
  State().MonitorPath = "C:\\zv4.exe\r\n[Evil]";
  try {
    SaveSettings();
    ADD_FAILURE() << "saved a path with a line break";
  } catch (const zv::Exception& error) {
    EXPECT_EQ(std::string(error.what()),
              "The monitor path contains a line break and cannot be saved in " + shown + "\\" +
                  zv::settings::kIniFileName);
  }
}

}  // namespace

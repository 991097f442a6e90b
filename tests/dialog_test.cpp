// The settings dialog as the user and the host see it: Config with its
// window driven from inside its own event loop. Needs a display (the test
// stage runs these under Xvfb); without one only the no-display cases run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "monitor_block/layout.h"
#include "platform/exception.h"
#include "plugin/get_value.h"
#include "readings/monitor_memory.h"
#include "settings/config.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "state/module_state.h"
#include "support/dialog_driver.h"
#include "support/plugin_host.h"
#include "support/temp_home.h"
#include "zelvane-monitor/publisher.h"

namespace {

namespace fs = std::filesystem;
namespace settings = zv::settings;
using zv::test::DialogLook;
using zv::test::DialogScript;
using zv::test::Look;

// Captions as shown (UTF-8).
const std::string kOk = "\xD0\x9E\xD0\xBA";                                             // "Ок"
const std::string kClose = "\xD0\x97\xD0\xB0\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C";  // "Закрыть"
// "/opt/Зелване/zelvane" in UTF-8 and in Windows-1251.
const std::string kPathUtf8 =
    "/opt/\xD0\x97\xD0\xB5\xD0\xBB\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xB5/zelvane";
const std::string kPath1251 = "/opt/\xC7\xE5\xEB\xE2\xE0\xED\xE5/zelvane";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each case runs in its own process with a fresh home folder.
class SettingsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!zv::test::DisplayAvailable()) {
      GTEST_SKIP() << "needs a display: run under xvfb-run";
    }
    temp_home_ = std::make_unique<zv::test::TempHome>();
    home_ = temp_home_->path();
    fs::create_directories(home_ / "Documents");
    zv::monitor::RemoveStale(zv::readings::kMonitorMemoryName);
  }

  // Writes an INI file holding another section and ours, and loads it.
  void StartWith(bool try_to_run, const std::string& path) {
    std::ofstream(ini(), std::ios::binary)
        << "[Other]\r\nkey=value\r\n[ZV4]\r\nTry to run=" << (try_to_run ? 1 : 0)
        << "\r\nPath=" << path << "\r\n";
    settings::LoadSettings();
    ASSERT_EQ(zv::State().TryToRun, try_to_run);
    ASSERT_EQ(zv::State().MonitorPath, path);
  }

  // Runs Config with `script` driving the window; Config must return 0 and
  // the script must have run to its end.
  static void RunConfig(DialogScript& script) {
    script.Start();
    EXPECT_EQ(settings::Config(), 0);
    EXPECT_TRUE(script.Finished());
    EXPECT_FALSE(Look().open);
  }

  [[nodiscard]] fs::path ini() const { return home_ / "Documents" / settings::kIniFileName; }
  std::unique_ptr<zv::test::TempHome> temp_home_;
  fs::path home_;
};

TEST_F(SettingsDialog, OpensFromTheSettingsWithItsLayoutAndTexts) {
  DialogLook look;
  DialogScript script;
  script.Then([&] { look = Look(); }).Then([] { zv::test::ClickButton(kClose); });
  RunConfig(script);

  ASSERT_TRUE(look.open);
  EXPECT_EQ(look.caption, "Zelvane settings...");
  EXPECT_EQ(look.client_width, 329);
  EXPECT_EQ(look.client_height, 129);
  EXPECT_FALSE(look.resizable);
  EXPECT_EQ(look.check_caption,
            "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB1\xD0\xBE\xD0\xB2\xD0\xB0\xD1\x82\xD1\x8C "
            "\xD0\xB7\xD0\xB0\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xB8\xD1\x82\xD1\x8C Zelvane");
  EXPECT_EQ(look.edit_label,
            "\xD0\x9F\xD1\x83\xD1\x82\xD1\x8C \xD0\xBA \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD1\x83 "
            "zelvane.exe");
  // No settings file yet: launching off, so the path and browse are disabled.
  EXPECT_FALSE(look.checked);
  EXPECT_TRUE(look.check_enabled);
  EXPECT_EQ(look.edit_text, "");
  EXPECT_FALSE(look.edit_enabled);
  EXPECT_FALSE(look.edit_label_enabled);
  EXPECT_FALSE(look.browse_enabled);
  // Tab order: check box, edit, OK, Close; the browse button takes no focus.
  const std::vector<std::string> order = {look.check_caption, "<edit>", kOk, kClose};
  EXPECT_EQ(look.focus_order, order);
  EXPECT_FALSE(look.has_key_shortcuts);
  // Centred on the screen when the host shows no window.
  EXPECT_EQ(look.x, look.screen_x + (look.screen_width - look.width) / 2);
  EXPECT_EQ(look.y, look.screen_y + (look.screen_height - look.height) / 2);
  EXPECT_FALSE(fs::exists(ini()));
}

TEST_F(SettingsDialog, ShowsLaunchingOnWithItsPathAndCentresOverTheHostWindow) {
  StartWith(true, kPath1251);
  zv::test::ShowMainWindow(100, 50, 600, 400);
  DialogLook look;
  DialogScript script;
  script.Then([&] { look = Look(); }).Then([] { zv::test::ClickButton(kClose); });
  RunConfig(script);
  zv::test::ClearMainWindow();

  EXPECT_TRUE(look.checked);
  EXPECT_EQ(look.edit_text, kPathUtf8);
  EXPECT_TRUE(look.edit_enabled);
  EXPECT_TRUE(look.edit_label_enabled);
  EXPECT_TRUE(look.browse_enabled);
  EXPECT_EQ(look.x, 100 + (600 - look.width) / 2);
  EXPECT_EQ(look.y, 50 + (400 - look.height) / 2);
}

TEST_F(SettingsDialog, TickingEnablesThePathAndClearingDisablesIt) {
  DialogLook ticked, cleared;
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([&] { ticked = Look(); })
      .Then(zv::test::ClickCheckBox)
      .Then([&] { cleared = Look(); })
      .Then([] { zv::test::ClickButton(kClose); });
  RunConfig(script);

  EXPECT_TRUE(ticked.checked);
  EXPECT_TRUE(ticked.edit_enabled && ticked.edit_label_enabled && ticked.browse_enabled);
  EXPECT_FALSE(cleared.checked);
  EXPECT_FALSE(cleared.edit_enabled || cleared.edit_label_enabled || cleared.browse_enabled);
}

TEST_F(SettingsDialog, OkWithTheBoxClearSavesFalseAndTheDisabledEditsText) {
  StartWith(true, "/old/zelvane");
  DialogScript script;
  script.Then([] { zv::test::TypePath(kPathUtf8); }).Then(zv::test::ClickCheckBox).Then([] {
    zv::test::ClickButton(kOk);
  });
  RunConfig(script);

  EXPECT_FALSE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, kPath1251);
  const std::string file = ReadFile(ini());
  EXPECT_NE(file.find("Path=" + kPath1251), std::string::npos) << file;
  EXPECT_NE(file.find("[Other]"), std::string::npos) << file;
  zv::State().TryToRun = true;
  zv::State().MonitorPath.clear();
  settings::LoadSettings();
  EXPECT_FALSE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, kPath1251);
  // Launching off: no attempt to connect.
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
}

TEST_F(SettingsDialog, CloseButtonCloseBoxAndEscapeChangeNothing) {
  StartWith(false, kPath1251);
  const std::string before = ReadFile(ini());
  bool open_after_escape = false;
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([] { zv::test::TypePath("/elsewhere"); })
      .Then(zv::test::PressEscape)
      .Then([&] { open_after_escape = Look().open; })
      .Then([] { zv::test::ClickButton(kClose); });
  RunConfig(script);
  EXPECT_TRUE(open_after_escape) << "Escape must not close a dialog without a cancel button";

  DialogScript box;
  box.Then(zv::test::ClickCheckBox).Then(zv::test::ClickCloseBox);
  RunConfig(box);

  EXPECT_FALSE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, kPath1251);
  EXPECT_EQ(ReadFile(ini()), before);
}

TEST_F(SettingsDialog, EnterClicksOnlyThePushButtonWithTheFocus) {
  StartWith(false, "/old/zelvane");
  bool open_after_enter_in_edit = false, open_after_enter_on_check = false;
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([] { zv::test::TypePath("/usr/bin/zelvane"); })
      .Then([] { zv::test::Focus("<edit>"); })
      .Then(zv::test::PressEnter)
      .Then([&] { open_after_enter_in_edit = Look().open; })
      .Then([&] { zv::test::Focus(Look().check_caption); })
      .Then(zv::test::PressEnter)
      .Then([&] { open_after_enter_on_check = Look().open; })
      .Then([] { zv::test::Focus(kOk); })
      .Then(zv::test::PressEnter);
  RunConfig(script);
  EXPECT_TRUE(open_after_enter_in_edit);
  EXPECT_TRUE(open_after_enter_on_check);
  EXPECT_TRUE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, "/usr/bin/zelvane");
  EXPECT_NE(ReadFile(ini()).find("Path=/usr/bin/zelvane"), std::string::npos);
}

TEST_F(SettingsDialog, OkWithLaunchingOnConnectsAtOnceSoCheckAnswersEmpty) {
  auto publisher = zv::monitor::Publisher::Create(zv::readings::kMonitorMemoryName,
                                                  zv::readings::kMonitorBlockSize);
  ASSERT_NE(publisher, nullptr);
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([] { zv::test::TypePath("/usr/bin/zelvane"); })
      .Then([] { zv::test::ClickButton(kOk); });
  RunConfig(script);

  EXPECT_TRUE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, "/usr/bin/zelvane");
  EXPECT_TRUE(zv::State().MonitorMapped);
  char* check = zv::plugin::GetValue(0, nullptr);
  EXPECT_STREQ(check, "");
  zv::test::ReleaseBuffer(check);
  EXPECT_NE(ReadFile(ini()).find("Path=/usr/bin/zelvane"), std::string::npos);
}

TEST_F(SettingsDialog, ThroughTheModuleOkSavesAndConnectsAsTheHostSees) {
  auto publisher = zv::monitor::Publisher::Create(zv::readings::kMonitorMemoryName,
                                                  zv::readings::kMonitorBlockSize);
  ASSERT_NE(publisher, nullptr);
  auto module = zv::test::PluginModule::Load(ZV_PLUGIN_PATH);
  ASSERT_NE(module, nullptr);
  DialogScript script;
  script.Then(zv::test::ClickCheckBox).Then([] { zv::test::TypePath(kPathUtf8); }).Then([] {
    zv::test::ClickButton(kOk);
  });
  script.Start();
  const zv::test::HostCall call = module->Config();
  EXPECT_TRUE(script.Finished());
  EXPECT_FALSE(call.failed) << call.text;
  EXPECT_EQ(call.text, "0");
  EXPECT_EQ(module->GetValue(0, nullptr).text, "");
  const std::string file = ReadFile(ini());
  EXPECT_NE(file.find("Try to run=1"), std::string::npos) << file;
  EXPECT_NE(file.find("Path=" + kPath1251), std::string::npos) << file;
}

TEST_F(SettingsDialog, PathOutsideWindows1251IsRefusedAndNothingChanges) {
  StartWith(true, "/old/zelvane");
  const std::string before = ReadFile(ini());
  DialogScript script;
  script
      .Then([] { zv::test::TypePath("/opt/\xE6\x97\xA5\xE6\x9C\xAC/zv"); })  // "/opt/日本/zv"
      .Then([] { zv::test::ClickButton(kOk); });
  script.Start();
  try {
    settings::Config();
    ADD_FAILURE() << "Config accepted a path it cannot store";
  } catch (const zv::Exception& error) {
    EXPECT_NE(std::string(error.what()).find("Windows-1251"), std::string::npos);
  }
  EXPECT_FALSE(Look().open);
  EXPECT_TRUE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, "/old/zelvane");
  EXPECT_EQ(ReadFile(ini()), before);
}

TEST_F(SettingsDialog, FailedSaveReachesTheCallerWithTheAcceptedValuesKept) {
  // A folder where the file should be: no implementation can write it.
  fs::create_directories(ini());
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([] { zv::test::TypePath("/usr/bin/zelvane"); })
      .Then([] { zv::test::ClickButton(kOk); });
  script.Start();
  EXPECT_THROW(settings::Config(), zv::Exception);
  EXPECT_FALSE(Look().open);
  EXPECT_TRUE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, "/usr/bin/zelvane");
}

TEST_F(SettingsDialog, BrowsingPutsOnlyAnExistingFileInTheEdit) {
#ifdef _WIN32
  const fs::path exe = home_ / "bin" / "zelvane.exe";
#else
  const fs::path exe = home_ / "bin" / "zelvane";  // Linux programs carry no extension
#endif
  fs::create_directories(exe.parent_path());
  std::ofstream(exe) << "#!/bin/sh\n";
  std::ofstream(home_ / "bin" / "other.exe") << "MZ";
  DialogLook picked, missing, cancelled, defaulted;
  DialogScript script;
  script.Then(zv::test::ClickCheckBox)
      .Then([] { zv::test::ClickButton("..."); })
      .Then([&] { zv::test::ChooseFile(exe.string()); })
      .Then([&] { picked = Look(); })
      .Then([] { zv::test::ClickButton("..."); })
      .Then([&] { zv::test::ChooseFile((home_ / "bin" / "absent").string()); })
      .Then([&] { missing = Look(); })
      .Then([] { zv::test::ClickButton("..."); })
      .Then(zv::test::CancelChooser)
      .Then([&] { cancelled = Look(); })
      .Then([] { zv::test::ClickButton("..."); })
      .Then([&] { zv::test::ChooseFile((home_ / "bin" / "other").string()); })
      .Then([&] { defaulted = Look(); })
      .Then([] { zv::test::ClickButton(kClose); });
  RunConfig(script);

  EXPECT_EQ(picked.edit_text, exe.string());
  EXPECT_EQ(missing.edit_text, exe.string());
  EXPECT_EQ(cancelled.edit_text, exe.string());
  // The default extension completes a bare name that only exists with it.
  EXPECT_EQ(defaulted.edit_text, (home_ / "bin" / "other.exe").string());
  EXPECT_FALSE(zv::State().TryToRun);  // closed: nothing taken
}

// No display: Config fails with a clear error and the process lives on.
class NoDisplay : public ::testing::TestWithParam<const char*> {};

TEST_P(NoDisplay, ConfigRaisesAClearErrorAndTheProcessLivesOn) {
  zv::test::SetEnvironment("DISPLAY", GetParam());
#ifdef _WIN32
  // Wine connects to the display it was started with; the stage runs these
  // cases once without any.
  if (GetParam() != nullptr || zv::test::DisplayAvailable()) {
    GTEST_SKIP() << "runs in a Wine started without a display";
  }
#endif
  const std::string expected = "Cannot show the settings dialog: no display is available";
  try {
    settings::Config();
    ADD_FAILURE() << "Config returned without a display";
  } catch (const zv::Exception& error) {
    EXPECT_EQ(error.what(), expected);
  }
  // Through the module, the host receives the same message.
  auto module = zv::test::PluginModule::Load(ZV_PLUGIN_PATH);
  ASSERT_NE(module, nullptr);
  const zv::test::HostCall call = module->Config();
  EXPECT_TRUE(call.failed);
  EXPECT_EQ(call.text, expected);
  EXPECT_FALSE(zv::State().TryToRun);
}

INSTANTIATE_TEST_SUITE_P(UnsetOrUnreachable, NoDisplay, ::testing::Values(nullptr, ":4711"));

}  // namespace

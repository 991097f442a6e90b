// A settings file in a private home folder's Documents, for the settings
// store's tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "plugin/module_reset.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/temp_home.h"

namespace zv::test {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin::ResetModuleState();
    std::filesystem::create_directory(home_.path() + "/Documents");
    ini_ = home_.path() + "/Documents/" + zv::settings::kIniFileName;
  }

  void TearDown() override { plugin::ResetModuleState(); }

  // Loads the settings from a file holding `text`.
  void LoadFrom(const std::string& text) {
    WriteFile(ini_, text);
    zv::settings::LoadSettings();
  }

  TempHome home_;
  std::string ini_;
};

}  // namespace zv::test

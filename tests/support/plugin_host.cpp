#include "support/plugin_host.h"

#include <gtest/gtest.h>

#include <string>

namespace zv::test {
namespace {

// Every failure must be the plugin's own error, as its contract describes.
HostCall Checked(HostCall call) {
  EXPECT_FALSE(call.unexpected) << "not the plugin's error: " << call.text;
  return call;
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const char* path) {
  std::string error;
  auto module = loader::PluginModule::Load(path, error);
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": " << error;
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(std::move(module)));
}

HostCall PluginModule::GetValue(std::int32_t code, const char* param) const {
  char* buffer = nullptr;
  HostCall call = Checked(module_->CallGetValue(code, param, buffer));
  EXPECT_TRUE(module_->ReleaseBuffer(buffer)) << "the host's allocator refused the buffer";
  return call;
}

char* PluginModule::GetValueRaw(std::int32_t code, const char* param) const {
  char* buffer = nullptr;
  Checked(module_->CallGetValue(code, param, buffer));
  return buffer;
}

HostCall PluginModule::Init() const { return Checked(module_->Init()); }

HostCall PluginModule::Config() const { return Checked(module_->Config()); }

void ReleaseBuffer(char* buffer) {
  EXPECT_TRUE(loader::ReleaseBuffer(buffer)) << "the host's allocator refused the buffer";
}

}  // namespace zv::test

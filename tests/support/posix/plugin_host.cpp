#include "support/plugin_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>

namespace zv::test {

PluginModule::PluginModule(void* module, GetPluginFunc get_plugin)
    : module_(module), get_plugin_(get_plugin), info_(get_plugin()) {}

std::unique_ptr<PluginModule> PluginModule::Load(const char* path) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
    return nullptr;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym gives untyped addresses
  auto get_plugin = reinterpret_cast<GetPluginFunc>(dlsym(module, "getPlugin"));
  if (get_plugin == nullptr) {
    ADD_FAILURE() << "no getPlugin in " << path;
    dlclose(module);
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, get_plugin));
}

PluginModule::~PluginModule() { dlclose(module_); }

char* PluginModule::GetValueRaw(std::int32_t code, const char* param) const {
  try {
    return info_->GetValue(code, param);
  } catch (const std::exception&) {
    return nullptr;
  }
}

HostCall PluginModule::GetValue(std::int32_t code, const char* param) const {
  HostCall call;
  try {
    char* buffer = info_->GetValue(code, param);
    call.text = buffer;
    call.buffer = buffer;
    ReleaseBuffer(buffer);
  } catch (const std::exception& error) {
    call.failed = true;
    call.text = error.what();
  }
  return call;
}

namespace {

HostCall CallNumeric(InitFunc entry) {
  HostCall call;
  try {
    call.text = std::to_string(entry());
  } catch (const std::exception& error) {
    call.failed = true;
    call.text = error.what();
  }
  return call;
}

}  // namespace

HostCall PluginModule::Init() const { return CallNumeric(info_->Init); }
HostCall PluginModule::Config() const { return CallNumeric(info_->Config); }

void ReleaseBuffer(char* buffer) { std::free(buffer); }  // NOLINT(cppcoreguidelines-no-malloc)

}  // namespace zv::test

#include "zelvane-lcd/loader/plugin_loader.h"

#include "zelvane-lcd/loader/loader_backend.h"

namespace zv::loader {
namespace {

CallResult MissingEntryPoint(const char* name) {
  return {true, std::string("the descriptor has no ") + name + " entry point", true};
}

CallResult CallNumeric(InitFunc entry, const char* name) {
  return entry != nullptr ? backend::GuardedNumeric(entry) : MissingEntryPoint(name);
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  void* handle = backend::OpenModule(path, error);
  if (handle == nullptr) {
    return nullptr;
  }
  const auto get_plugin = FindExport<GetPluginFunc>(handle, "getPlugin");
  const PluginInfo* info = get_plugin != nullptr ? get_plugin() : nullptr;
  if (info == nullptr) {
    error = get_plugin == nullptr ? "no getPlugin export in " + path
                                  : "getPlugin returned no descriptor";
    backend::CloseModule(handle);
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(handle, get_plugin, info));
}

PluginModule::~PluginModule() { backend::CloseModule(handle_); }

CallResult PluginModule::CallGetValue(std::int32_t code, const char* param, char*& buffer) const {
  buffer = nullptr;
  if (info_->GetValue == nullptr) {
    return MissingEntryPoint("GetValue");
  }
  return backend::GuardedGetValue(info_->GetValue, code, param, buffer);
}

CallResult PluginModule::GetValue(std::int32_t code, const char* param) const {
  char* buffer = nullptr;
  CallResult result = CallGetValue(code, param, buffer);
  ReleaseBuffer(buffer);
  return result;
}

CallResult PluginModule::Init() const { return CallNumeric(info_->Init, "Init"); }

CallResult PluginModule::Config() const { return CallNumeric(info_->Config, "Config"); }

bool PluginModule::ReleaseBuffer(char* buffer) const {
  if (buffer == nullptr) {
    return true;
  }
  if (!release_) {
    release_ = CurrentBufferRelease();
  }
  return loader::ReleaseBuffer(*release_, buffer);
}

}  // namespace zv::loader

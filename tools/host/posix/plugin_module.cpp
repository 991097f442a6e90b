#include "host/plugin_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <exception>

namespace zv::host {
namespace {

// The plugin's errors arrive as C++ exceptions derived from std::exception.
template <typename Call>
CallResult Guarded(Call call) {
  CallResult result;
  try {
    result.text = call();
  } catch (const std::exception& error) {
    result.failed = true;
    result.text = error.what();
  } catch (...) {
    result.failed = true;
    result.text = "unknown error";
  }
  return result;
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  // dlopen searches the library path for a bare name; a path names the file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    error = dlerror();
    return nullptr;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym returns void*
  auto get_plugin = reinterpret_cast<GetPluginFunc>(dlsym(module, "getPlugin"));
  const PluginInfo* info = get_plugin != nullptr ? get_plugin() : nullptr;
  if (info == nullptr) {
    error = get_plugin == nullptr ? "no getPlugin export in " + path
                                  : "getPlugin returned no descriptor";
    dlclose(module);
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, info));
}

PluginModule::~PluginModule() { dlclose(module_); }

CallResult PluginModule::GetValue(std::int32_t code, const char* param) const {
  if (info_->GetValue == nullptr) {
    return {true, "the descriptor has no GetValue entry point"};
  }
  return Guarded([&] {
    char* buffer = info_->GetValue(code, param);
    std::string text = buffer != nullptr ? buffer : "";
    // Each buffer is the host's to release; on Linux it comes from malloc.
    std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): the module's malloc
    return text;
  });
}

CallResult PluginModule::Init() const {
  if (info_->Init == nullptr) {
    return {true, "the descriptor has no Init entry point"};
  }
  return Guarded([&] { return std::to_string(info_->Init()); });
}

CallResult PluginModule::Config() const {
  if (info_->Config == nullptr) {
    return {true, "the descriptor has no Config entry point"};
  }
  return Guarded([&] { return std::to_string(info_->Config()); });
}

}  // namespace zv::host

// The host's side of the plugin module: loading it, calling its entry points
// and receiving its errors and buffers the platform's way. One backend per
// platform (host/<os>/plugin_module.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zelvane_info.h"

namespace zv::host {

// The outcome of one entry-point call: the returned text (GetValue) or
// number (Init, Config) as text, or the error's message. Texts are the
// plugin's Windows-1251 bytes.
struct CallResult {
  bool failed = false;
  std::string text;
};

class PluginModule {
 public:
  // Loads the module at `path` and calls its getPlugin. Returns nullptr and
  // sets `error` when either fails.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  PluginModule(PluginModule&&) = delete;
  PluginModule& operator=(PluginModule&&) = delete;
  // Unloads the module.
  ~PluginModule();

  // The descriptor getPlugin returned; valid while the module is loaded.
  [[nodiscard]] const PluginInfo& info() const { return *info_; }

  // Calls GetValue, copies its text and releases the buffer.
  [[nodiscard]] CallResult GetValue(std::int32_t code, const char* param) const;
  // Calls Init or Config.
  [[nodiscard]] CallResult Init() const;
  [[nodiscard]] CallResult Config() const;

 private:
  PluginModule(void* module, const PluginInfo* info) : module_(module), info_(info) {}
  void* module_;
  const PluginInfo* info_;
};

}  // namespace zv::host

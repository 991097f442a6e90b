// What a host does with the plugin module, for tests: load it, call its
// entry points and catch its errors the platform's way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zelvane_info.h"

namespace zv::test {

// The outcome of one entry-point call as the host sees it.
struct HostCall {
  bool failed = false;
  std::string text;              // returned text, or the error's message
  const void* buffer = nullptr;  // the returned buffer (already released)
};

class PluginModule {
 public:
  // Loads the module at `path`; fails the test when it cannot.
  static std::unique_ptr<PluginModule> Load(const char* path);
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  PluginModule(PluginModule&&) = delete;
  PluginModule& operator=(PluginModule&&) = delete;
  ~PluginModule();

  [[nodiscard]] PluginInfo* info() const { return info_; }
  [[nodiscard]] GetPluginFunc get_plugin() const { return get_plugin_; }

  // Calls GetValue, copies its text and releases the buffer.
  HostCall GetValue(std::int32_t code, const char* param) const;
  // Calls GetValue and hands the buffer over unreleased (null on error).
  char* GetValueRaw(std::int32_t code, const char* param) const;
  // Calls Init or Config.
  HostCall Init() const;
  HostCall Config() const;

 private:
  PluginModule(void* module, GetPluginFunc get_plugin);
  void* module_;
  GetPluginFunc get_plugin_;
  PluginInfo* info_;
};

// Releases a buffer returned by GetValue the way the host must.
void ReleaseBuffer(char* buffer);

}  // namespace zv::test

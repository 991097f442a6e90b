// The plugin module as the tests' host has it: loaded and called through the
// shared loader (loader/plugin_loader.h), with every call checked against
// the error contract and every buffer checked to be the host's to release.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane_info.h"

namespace zv::test {

// The outcome of one entry-point call as the host sees it.
using HostCall = loader::CallResult;

class PluginModule {
 public:
  // Loads the module at `path`; fails the test when it cannot.
  static std::unique_ptr<PluginModule> Load(const char* path);

  [[nodiscard]] const PluginInfo* info() const { return &module_->info(); }
  [[nodiscard]] GetPluginFunc get_plugin() const { return module_->get_plugin(); }

  // Calls GetValue, copies its text and releases the buffer.
  HostCall GetValue(std::int32_t code, const char* param) const;
  // Calls GetValue and hands the buffer over unreleased (null on error).
  char* GetValueRaw(std::int32_t code, const char* param) const;
  // Calls Init or Config.
  HostCall Init() const;
  HostCall Config() const;

 private:
  explicit PluginModule(std::unique_ptr<loader::PluginModule> module)
      : module_(std::move(module)) {}
  std::unique_ptr<loader::PluginModule> module_;
};

// Releases a buffer returned by GetValue the way the host must; fails the
// test when the allocator refuses it.
void ReleaseBuffer(char* buffer);

}  // namespace zv::test

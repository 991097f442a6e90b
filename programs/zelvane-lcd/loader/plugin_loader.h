// The host's side of a plugin module, shared by zelvane-lcd and the
// tests: loading it, looking up its exports, calling its entry points with
// the plugin's errors caught the platform's way (a C++ exception on Linux, a
// structured exception on Windows) and releasing the buffers GetValue hands
// over. One backend per platform (loader/<os>/loader_backend.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "zelvane_info.h"

namespace zv::loader {

// The untyped address of the export `name` of a loaded module (a handle from
// dlopen, or an HMODULE), or null when it has none.
void* ExportAddress(void* module, const char* name);

// The export `name` of `module` as the pointer type the caller knows it has:
// a function pointer for a function, an object pointer for a variable.
// Null when the module has no such export.
template <typename Pointer>
Pointer FindExport(void* module, const char* name) {
  static_assert(std::is_pointer_v<Pointer>, "exports are reached through pointers");
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the loader's addresses are untyped
  return reinterpret_cast<Pointer>(ExportAddress(module, name));
}

// The outcome of one entry-point call: the returned text (GetValue) or
// number (Init, Config) as text, or the error's message. Texts are the
// plugin's Windows-1251 bytes.
struct CallResult {
  bool failed = false;
  std::string text;
  // The call failed in a way the error contract of zelvane_info.h does not
  // allow: another kind of exception, an access violation, a structured
  // exception without the plugin's code, flags and message, or a missing
  // entry point. `text` then says what happened.
  bool unexpected = false;
};

// How the host releases the plugin's buffers: by default with free() on
// Linux and to the process heap on Windows; on Windows through borlndmm.dll's
// SysFreeMem when that library is loaded with all three of its exports.
enum class BufferRelease { kDefault, kBorlndmm };

// The way buffers are to be released as the process stands now.
BufferRelease CurrentBufferRelease();

// Releases `buffer` (null is allowed) the way `release` says. Returns false
// when the allocator refused it, or is no longer there (Windows; free()
// cannot tell).
bool ReleaseBuffer(BufferRelease release, char* buffer);

// Releases `buffer` the way the process stands now: for buffers of a
// plugin linked into the process itself.
inline bool ReleaseBuffer(char* buffer) { return ReleaseBuffer(CurrentBufferRelease(), buffer); }

// A loaded plugin module, unloaded when destroyed.
class PluginModule {
 public:
  // Loads the module at `path` and calls its getPlugin. A bare name is a
  // file of the current folder on Linux; on Windows the program's folder,
  // then the DLL search path. Returns null and sets `error` when either
  // fails or getPlugin gives no descriptor.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  PluginModule(PluginModule&&) = delete;
  PluginModule& operator=(PluginModule&&) = delete;
  ~PluginModule();

  [[nodiscard]] GetPluginFunc get_plugin() const { return get_plugin_; }
  // The descriptor getPlugin returned; valid while the module is loaded.
  [[nodiscard]] const PluginInfo& info() const { return *info_; }

  // This module's export `name` as `Pointer` (see FindExport).
  template <typename Pointer>
  [[nodiscard]] Pointer Export(const char* name) const {
    return FindExport<Pointer>(handle_, name);
  }

  // Calls GetValue. `buffer` receives the returned buffer (null when the
  // call failed), which the caller releases with ReleaseBuffer; the result
  // holds a copy of its text.
  CallResult CallGetValue(std::int32_t code, const char* param, char*& buffer) const;
  // Calls GetValue, copies its text and releases the buffer.
  [[nodiscard]] CallResult GetValue(std::int32_t code, const char* param) const;
  // Calls Init or Config.
  [[nodiscard]] CallResult Init() const;
  [[nodiscard]] CallResult Config() const;

  // Releases a buffer of this module's GetValue. How is decided at the
  // first buffer, as the plugin decides where its buffers come from by then
  // at the latest (zelvane_info.h). Returns false when it was refused.
  bool ReleaseBuffer(char* buffer) const;

 private:
  PluginModule(void* handle, GetPluginFunc get_plugin, const PluginInfo* info)
      : handle_(handle), get_plugin_(get_plugin), info_(info) {}
  void* handle_;
  GetPluginFunc get_plugin_;
  const PluginInfo* info_;
  mutable std::optional<BufferRelease> release_;
};

}  // namespace zv::loader

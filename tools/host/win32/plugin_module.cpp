#include "host/plugin_module.h"

#include <windows.h>

#include <cstdio>

#include "host/win32/seh_call.h"

namespace zv::host {
namespace {

// GetProcAddress's untyped result, as the function type we know it has.
template <typename Func>
Func ProcAddress(HMODULE module, const char* name) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// How the plugin's buffers are released: decided at the first buffer, as the
// plugin decides where they come from (see zelvane_info.h).
struct BufferRelease {
  bool chosen = false;
  SysFreeMemFunc sys_free_mem = nullptr;  // null: the process heap
};
BufferRelease Release;

// Releases a buffer from GetValue: through borlndmm.dll when it was loaded
// with all three of its exports, else to the process heap.
void ReleaseBuffer(char* buffer) {
  if (!Release.chosen) {
    Release.chosen = true;
    if (HMODULE borlndmm = GetModuleHandleA(ZV_BORLNDMM_MODULE)) {
      const auto free_mem = ProcAddress<SysFreeMemFunc>(borlndmm, ZV_BORLNDMM_SYSFREEMEM);
      if (free_mem != nullptr &&
          ProcAddress<void (*)()>(borlndmm, ZV_BORLNDMM_SYSGETMEM) != nullptr &&
          ProcAddress<void (*)()>(borlndmm, ZV_BORLNDMM_SYSREALLOCMEM) != nullptr) {
        Release.sys_free_mem = free_mem;
      }
    }
  }
  if (Release.sys_free_mem != nullptr) {
    Release.sys_free_mem(buffer);
  } else {
    HeapFree(GetProcessHeap(), 0, buffer);
  }
}

// The error the plugin raised, or a report of any other structured exception
// that left it (an access violation, say): the host shows it and goes on.
CallResult Failure(const ZvRaised& raised) {
  if (raised.code == ZV_ERROR_EXCEPTION_CODE && raised.message_pointer != nullptr) {
    return {true, raised.message};
  }
  char text[64];
  std::snprintf(text, sizeof text, "structured exception 0x%08lX",
                static_cast<unsigned long>(raised.code));
  return {true, text};
}

// The system's text for an error code, in UTF-8.
std::string SystemMessage(DWORD code) {
  wchar_t* wide = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&wide),  // NOLINT: the API's documented cast
      0, nullptr);
  std::string text = "error " + std::to_string(code);
  if (length > 0) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), size, nullptr,
                        nullptr);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ')) {
      utf8.pop_back();
    }
    text += ": " + utf8;
  }
  LocalFree(wide);
  return text;
}

// Calls Init or Config, whose errors arrive the same way.
CallResult CallNumeric(InitFunc entry, const char* name) {
  if (entry == nullptr) {
    return {true, std::string("the descriptor has no ") + name + " entry point"};
  }
  ZvRaised raised{};
  std::int32_t value = 0;
  if (ZvCallNumeric(entry, &value, &raised) == 0) {
    return Failure(raised);
  }
  return {false, std::to_string(value)};
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  // A bare name is looked for in the program's folder first, then along the
  // usual DLL search path.
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = SystemMessage(GetLastError());
    return nullptr;
  }
  const auto get_plugin = ProcAddress<GetPluginFunc>(module, "getPlugin");
  const PluginInfo* info = get_plugin != nullptr ? get_plugin() : nullptr;
  if (info == nullptr) {
    error = get_plugin == nullptr ? "no getPlugin export in " + path
                                  : "getPlugin returned no descriptor";
    FreeLibrary(module);
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, info));
}

PluginModule::~PluginModule() { FreeLibrary(static_cast<HMODULE>(module_)); }

CallResult PluginModule::GetValue(std::int32_t code, const char* param) const {
  if (info_->GetValue == nullptr) {
    return {true, "the descriptor has no GetValue entry point"};
  }
  ZvRaised raised{};
  char* buffer = nullptr;
  if (ZvCallGetValue(info_->GetValue, code, param, &buffer, &raised) == 0) {
    return Failure(raised);
  }
  CallResult result{false, buffer != nullptr ? buffer : ""};
  if (buffer != nullptr) {
    ReleaseBuffer(buffer);
  }
  return result;
}

CallResult PluginModule::Init() const { return CallNumeric(info_->Init, "Init"); }

CallResult PluginModule::Config() const { return CallNumeric(info_->Config, "Config"); }

}  // namespace zv::host

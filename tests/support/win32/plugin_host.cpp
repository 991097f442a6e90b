#include "support/plugin_host.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "host/win32/seh_call.h"
#include "support/win32/proc_address.h"

namespace zv::test {
namespace {

// Turns what the host's exception filter saw into the failed call, checking
// the error contract on the way.
HostCall Failure(const ZvRaised& raised) {
  EXPECT_EQ(raised.code, ZV_ERROR_EXCEPTION_CODE) << std::hex << raised.code;
  EXPECT_EQ(raised.flags & EXCEPTION_NONCONTINUABLE, static_cast<DWORD>(EXCEPTION_NONCONTINUABLE));
  EXPECT_EQ(raised.parameter_count, static_cast<std::uint32_t>(ZV_ERROR_EXCEPTION_PARAMS));
  HostCall call;
  call.failed = true;
  call.text = raised.message;
  return call;
}

HostCall CallNumeric(InitFunc entry) {
  ZvRaised raised{};
  std::int32_t result = 0;
  if (ZvCallNumeric(entry, &result, &raised) == 0) {
    return Failure(raised);
  }
  HostCall call;
  call.text = std::to_string(result);
  return call;
}

}  // namespace

PluginModule::PluginModule(void* module, GetPluginFunc get_plugin)
    : module_(module), get_plugin_(get_plugin), info_(get_plugin()) {}

std::unique_ptr<PluginModule> PluginModule::Load(const char* path) {
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": error " << GetLastError();
    return nullptr;
  }
  auto get_plugin = ProcAddress<GetPluginFunc>(module, "getPlugin");
  if (get_plugin == nullptr) {
    ADD_FAILURE() << "no getPlugin in " << path;
    FreeLibrary(module);
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, get_plugin));
}

PluginModule::~PluginModule() { FreeLibrary(static_cast<HMODULE>(module_)); }

char* PluginModule::GetValueRaw(std::int32_t code, const char* param) const {
  ZvRaised raised{};
  char* buffer = nullptr;
  return ZvCallGetValue(info_->GetValue, code, param, &buffer, &raised) != 0 ? buffer : nullptr;
}

HostCall PluginModule::GetValue(std::int32_t code, const char* param) const {
  ZvRaised raised{};
  char* buffer = nullptr;
  if (ZvCallGetValue(info_->GetValue, code, param, &buffer, &raised) == 0) {
    return Failure(raised);
  }
  HostCall call;
  call.text = buffer;
  call.buffer = buffer;
  ReleaseBuffer(buffer);
  return call;
}

HostCall PluginModule::Init() const { return CallNumeric(info_->Init); }
HostCall PluginModule::Config() const { return CallNumeric(info_->Config); }

// The host releases through borlndmm.dll when it has loaded it, else through
// the process heap. Either refuses a buffer that did not come from it.
void ReleaseBuffer(char* buffer) {
  HMODULE borlndmm = GetModuleHandleA(ZV_BORLNDMM_MODULE);
  if (borlndmm != nullptr) {
    auto free_mem = ProcAddress<SysFreeMemFunc>(borlndmm, ZV_BORLNDMM_SYSFREEMEM);
    ASSERT_NE(free_mem, nullptr);
    EXPECT_EQ(free_mem(buffer), 0) << "not a buffer of borlndmm.dll";
    return;
  }
  EXPECT_NE(HeapFree(GetProcessHeap(), 0, buffer), FALSE) << "not a process-heap buffer";
}

}  // namespace zv::test

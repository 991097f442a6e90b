// Where the plugin's returned buffers come from on Windows: the host's
// shared memory manager borlndmm.dll when the process has one, otherwise the
// process heap. The allocator is chosen once, by the first buffer. On 32-bit
// x86 the stand-in's exports are hand-written register-convention thunks, so
// every call here also checks the convention of the plugin's calls
// (SysGetMem) and of the host's (SysFreeMem).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "monitor_block/layout.h"
#include "support/plugin_host.h"
#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

namespace {

using zv::test::PluginModule;

constexpr const char* kName = zv::readings::kMonitorMemoryName;

// Our stand-in borlndmm.dll, loaded the way a host has it loaded.
class Borlndmm {
 public:
  Borlndmm() : module_(LoadLibraryA("borlndmm.dll")) {
    EXPECT_NE(module_, nullptr) << "cannot load the stand-in borlndmm.dll";
  }
  Borlndmm(const Borlndmm&) = delete;
  Borlndmm& operator=(const Borlndmm&) = delete;
  Borlndmm(Borlndmm&&) = delete;
  Borlndmm& operator=(Borlndmm&&) = delete;
  ~Borlndmm() { FreeLibrary(module_); }

  int Allocations() const { return Call<int (*)()>("AllocationCount")(); }
  int Live() const { return Call<int (*)()>("LiveCount")(); }
  bool Owns(const void* p) const { return Call<int (*)(const void*)>("Owns")(p) != 0; }
  // The size SysGetMem was asked for the live buffer p (-1: not ours).
  int Requested(const void* p) const { return Call<int (*)(const void*)>("RequestedSize")(p); }
  // Released the way the host does, in borlndmm's calling convention.
  int Free(void* p) const { return Call<SysFreeMemFunc>(ZV_BORLNDMM_SYSFREEMEM)(p); }

 private:
  template <typename Func>
  Func Call(const char* name) const {
    auto func = zv::loader::FindExport<Func>(module_, name);
    EXPECT_NE(func, nullptr) << name;
    return func;
  }
  HMODULE module_;
};

std::unique_ptr<PluginModule> LoadPlugin() { return PluginModule::Load(ZV_PLUGIN_PATH); }

// A process-heap buffer of exactly strlen + 1 bytes, released the way the
// host must.
void ExpectHeapBuffer(char* buffer, const char* text) {
  ASSERT_NE(buffer, nullptr);
  EXPECT_STREQ(buffer, text);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, buffer), std::strlen(text) + 1);
  EXPECT_NE(HeapFree(GetProcessHeap(), 0, buffer), FALSE);
}

// Publishes readings whose texts differ in length: temperature 0 "-5",
// fan 1 "12345", voltage 2 "12".
std::unique_ptr<zv::monitor::Publisher> PublishReadings() {
  zv::monitor::RemoveStale(kName);
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  EXPECT_NE(publisher, nullptr);
  if (publisher) {
    publisher->WriteWord(zv::readings::kTemperatureOffset, zv::readings::EncodeHundredths(-512));
    publisher->WriteWord(zv::readings::kFanOffset + 4, zv::readings::EncodeRpm(12345));
    publisher->WriteWord(zv::readings::kVoltageOffset + 8, zv::readings::EncodeHundredths(1205));
  }
  return publisher;
}

struct Request {
  std::int32_t code;
  const char* param;
  const char* text;
};

// Every answer's buffer, from the stand-in and asked for exactly
// strlen(text) + 1 bytes, released by the host through SysFreeMem.
void ExpectBuffersFromBorlndmm(const PluginModule& plugin, const Borlndmm& borlndmm,
                               const std::vector<Request>& requests) {
  for (const Request& request : requests) {
    const int before = borlndmm.Allocations();
    char* buffer = plugin.GetValueRaw(request.code, request.param);
    ASSERT_NE(buffer, nullptr) << request.text;
    EXPECT_STREQ(buffer, request.text);
    EXPECT_TRUE(borlndmm.Owns(buffer)) << request.text;
    EXPECT_EQ(borlndmm.Allocations(), before + 1) << request.text;
    EXPECT_EQ(borlndmm.Requested(buffer), static_cast<int>(std::strlen(request.text) + 1))
        << request.text;
    zv::test::ReleaseBuffer(buffer);  // the host's SysFreeMem, which refuses strangers
    EXPECT_FALSE(borlndmm.Owns(buffer)) << request.text;
  }
  EXPECT_EQ(borlndmm.Live(), 0);
}

const std::vector<Request>& MixedRequests() {
  static const std::vector<Request> requests = {
      {ZV_MACRO_TEMP, "0", "-5"},
      {ZV_MACRO_CHECK, nullptr, ""},
      {ZV_MACRO_FAN, " +1", "12345"},
      {ZV_MACRO_VOLT, "2", "12"},
      {9, nullptr, "12"},
      {ZV_MACRO_RESET, "0", ""},
      {ZV_MACRO_FAN, nullptr, "0"},
  };
  return requests;
}

TEST(SharedAllocator, EachBufferIsAskedForItsTextAndANulOfBorlndmmLoadedFirst) {
  Borlndmm borlndmm;
  const auto publisher = PublishReadings();
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  ExpectBuffersFromBorlndmm(*plugin, borlndmm, MixedRequests());
}

TEST(SharedAllocator, EachBufferIsAskedForItsTextAndANulOfBorlndmmLoadedAfterThePlugin) {
  const auto publisher = PublishReadings();
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  Borlndmm borlndmm;  // before the first GetValue
  ExpectBuffersFromBorlndmm(*plugin, borlndmm, MixedRequests());
}

TEST(SharedAllocator, BuffersComeFromBorlndmmLoadedBeforeThePlugin) {
  Borlndmm borlndmm;
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  const int before = borlndmm.Allocations();

  char* first = plugin->GetValueRaw(ZV_MACRO_CHECK, nullptr);
  char* second = plugin->GetValueRaw(ZV_MACRO_RESET, "5");
  EXPECT_EQ(borlndmm.Allocations(), before + 2);
  EXPECT_TRUE(borlndmm.Owns(first));
  EXPECT_TRUE(borlndmm.Owns(second));
  EXPECT_STREQ(first, "#skip");
  EXPECT_STREQ(second, "");
  EXPECT_EQ(borlndmm.Free(first), 0);
  EXPECT_EQ(borlndmm.Free(second), 0);

  // The host helper releases through SysFreeMem, which refuses strangers.
  EXPECT_EQ(plugin->GetValue(9, nullptr).text, "");
  EXPECT_EQ(borlndmm.Allocations(), before + 3);
  EXPECT_EQ(borlndmm.Live(), 0);
}

TEST(SharedAllocator, FailedRequestsAllocateNothing) {
  Borlndmm borlndmm;
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  const int before = borlndmm.Allocations();
  EXPECT_TRUE(plugin->GetValue(ZV_MACRO_TEMP, "32").failed);
  EXPECT_TRUE(plugin->GetValue(ZV_MACRO_CHECK, "x").failed);
  EXPECT_EQ(borlndmm.Allocations(), before);
  EXPECT_EQ(borlndmm.Live(), 0);
}

TEST(SharedAllocator, BorlndmmLoadedAfterThePluginIsFoundAtTheFirstBuffer) {
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  Borlndmm borlndmm;
  char* buffer = plugin->GetValueRaw(ZV_MACRO_CHECK, nullptr);
  EXPECT_TRUE(borlndmm.Owns(buffer));
  EXPECT_EQ(borlndmm.Free(buffer), 0);
}

TEST(SharedAllocator, WithoutBorlndmmBuffersComeFromTheProcessHeap) {
  ASSERT_EQ(GetModuleHandleA("borlndmm.dll"), nullptr);
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  ExpectHeapBuffer(plugin->GetValueRaw(ZV_MACRO_CHECK, nullptr), "#skip");
  ExpectHeapBuffer(plugin->GetValueRaw(ZV_MACRO_RESET, nullptr), "");
  const auto publisher = PublishReadings();
  for (const Request& request : MixedRequests()) {
    ExpectHeapBuffer(plugin->GetValueRaw(request.code, request.param), request.text);
  }
}

TEST(SharedAllocator, TheFirstBufferFixesTheAllocator) {
  auto plugin = LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  ExpectHeapBuffer(plugin->GetValueRaw(ZV_MACRO_CHECK, nullptr), "#skip");
  // A manager that turns up later would leave the host unsure how to
  // release: the plugin stays with the process heap.
  Borlndmm borlndmm;
  const int before = borlndmm.Allocations();
  ExpectHeapBuffer(plugin->GetValueRaw(ZV_MACRO_CHECK, nullptr), "#skip");
  EXPECT_EQ(borlndmm.Allocations(), before);
}

}  // namespace

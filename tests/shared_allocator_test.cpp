// Where the plugin's returned buffers come from on Windows: the host's
// shared memory manager borlndmm.dll when the process has one, otherwise the
// process heap. The allocator is chosen once, by the first buffer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>

#include "support/plugin_host.h"
#include "support/win32/proc_address.h"
#include "zelvane_info.h"

namespace {

using zv::test::PluginModule;

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
  int Free(void* p) const { return Call<int (*)(void*)>("@Borlndmm@SysFreeMem$qqrpv")(p); }

 private:
  template <typename Func>
  Func Call(const char* name) const {
    auto func = zv::test::ProcAddress<Func>(module_, name);
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

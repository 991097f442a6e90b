// The module's host interface: the descriptor record, the export and the
// three entry points.
#include "zelvane_info.h"

#include <cstddef>

#include "plugin/boundary.h"
#include "plugin/get_value.h"
#include "plugin/module_reset.h"
#include "settings/config.h"
#include "settings/startup.h"
#include "state/module_state.h"
#include "zv_version.h"

#ifndef ZV_EXPORT
#define ZV_EXPORT
#endif

namespace {

// The record's layout is part of the host contract; on 32-bit x86 it is
// exactly 300 bytes of 32-bit words.
static_assert(offsetof(PluginInfo, Title) == 0);
static_assert(offsetof(PluginInfo, About) == sizeof(void*));
static_assert(offsetof(PluginInfo, InfoCode) == 2 * sizeof(void*));
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, ShortName) == 12);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Descriptions) == 16);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Macros) == 84);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Examples) == 152);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Headings) == 220);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, GetValue) == 288);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Init) == 292);
static_assert(sizeof(void*) != 4 || offsetof(PluginInfo, Config) == 296);
static_assert(sizeof(void*) != 4 || sizeof(PluginInfo) == 300);
static_assert(sizeof(void*) != 8 || sizeof(PluginInfo) == 4 * 8 + 4 * 17 * 8 + 3 * 8);

constexpr int32_t kInfoCode = 1027;

extern "C" char* ZV_CDECL GetValueEntry(int32_t code, const char* param) {
  return zv::plugin::CallFromHost([&] { return zv::plugin::GetValue(code, param); });
}

extern "C" int32_t ZV_CDECL InitEntry() {
  return zv::plugin::CallFromHost([] { return zv::settings::Init(); });
}

extern "C" int32_t ZV_CDECL ConfigEntry() {
  return zv::plugin::CallFromHost([] { return zv::settings::Config(); });
}

// "Информация из Zelvane 4.*", two carriage returns, then our closing line
// with the module's version.
constexpr const char* kAbout =
    "\xC8\xED\xF4\xEE\xF0\xEC\xE0\xF6\xE8\xFF \xE8\xE7 Zelvane 4.*\r\r"
    "zelvane_info " ZV_VERSION ": sensor readings from shared memory";

// Macro texts in table order: $zvCheck, $zvTemp, $zvFan, $zvVolt.
constexpr const char* kCheckDescription = "\xF3\xF1\xEB\xEE\xE2\xE8\xE5 \xEF\xEE\xEA\xE0\xE7\xE0";
constexpr const char* kTempDescription = "\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0";
constexpr const char* kFanDescription = "\xEE\xE1\xEE\xF0\xEE\xF2\xFB";
constexpr const char* kVoltDescription = "\xED\xE0\xEF\xF0\xFF\xE6\xE5\xED\xE8\xE5";

// clang-format off
PluginInfo Info = {
    "Zelvane 4.* info",
    kAbout,
    kInfoCode,
    "Zelvane",
    {"", kCheckDescription, kTempDescription, kFanDescription, kVoltDescription,
     "", "", "", "", "", "", "", "", "", "", "", ""},
    {"", "$zvCheck", "$zvTemp", "$zvFan", "$zvVolt",
     "", "", "", "", "", "", "", "", "", "", "", ""},
    {"", "$zvCheck$", "$zvTemp[0]$", "$zvFan[0]$", "$zvVolt[0]$",
     "", "", "", "", "", "", "", "", "", "", "", ""},
    {"Zelvane 4.*",
     "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", ""},
    GetValueEntry,
    InitEntry,
    ConfigEntry,
};
// clang-format on

// Unloading gives back what the module's calls took: the connection to the
// monitor's memory, open from its first mapping until now, and the retained
// texts. A host that loads and unloads the plugin again and again so keeps no
// descriptor or mapping per load. The module's record is made first (it is
// used here while loading), so it is destroyed only after this runs.
struct ModuleUnload {
  ModuleUnload() { zv::State(); }
  ModuleUnload(const ModuleUnload&) = delete;
  ModuleUnload& operator=(const ModuleUnload&) = delete;
  ModuleUnload(ModuleUnload&&) = delete;
  ModuleUnload& operator=(ModuleUnload&&) = delete;
  ~ModuleUnload() { zv::plugin::ResetModuleState(); }
};
const ModuleUnload Unload;

}  // namespace

extern "C" ZV_EXPORT PluginInfo* ZV_CDECL getPlugin() { return &Info; }

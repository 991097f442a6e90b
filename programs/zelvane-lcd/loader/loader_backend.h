// What each platform's loader backend does (loader/<os>/loader_backend.cpp),
// besides the export lookup and the buffer release of plugin_loader.h. The
// front end (plugin_loader.cpp) checks the descriptor and its entry points.
#pragma once

#include <cstdint>
#include <string>

#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane_info.h"

namespace zv::loader::backend {

// Opens the module file at `path` (see PluginModule::Load). Returns its
// handle, or null with `error` set to the system's reason.
void* OpenModule(const std::string& path, std::string& error);

// Unloads a module that OpenModule opened.
void CloseModule(void* module);

// Calls `get_value`, catching what leaves it the platform's way. On return
// `buffer` is the returned buffer, or null when the call failed.
CallResult GuardedGetValue(GetValueFunc get_value, std::int32_t code, const char* param,
                           char*& buffer);

// The same for Init and Config.
CallResult GuardedNumeric(InitFunc entry);

}  // namespace zv::loader::backend

#include "zelvane-lcd/loader/loader_backend.h"

#include <dlfcn.h>

#include <cstdlib>
#include <exception>

#include "common/read_file.h"

namespace zv::loader {

void* ExportAddress(void* module, const char* name) { return dlsym(module, name); }

// Every buffer comes from the plugin's malloc.
BufferRelease CurrentBufferRelease() { return BufferRelease::kDefault; }

bool ReleaseBuffer(BufferRelease /*release*/, char* buffer) {
  std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): the module's malloc
  return true;
}

namespace backend {
namespace {

// The plugin's errors arrive as C++ exceptions derived from std::exception;
// anything else thrown breaks its contract.
template <typename Call>
CallResult Guarded(Call call) {
  try {
    return {false, call(), false};
  } catch (const std::exception& error) {
    return {true, error.what(), false};
  } catch (...) {
    return {true, "unknown error", true};
  }
}

}  // namespace

void* OpenModule(const std::string& path, std::string& error) {
  // dlopen searches the library path for a bare name; a path names the file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // dlopen would wait on a FIFO for ever and read a device without end.
  if (!common::CheckRegularFile(file, error)) {
    return nullptr;
  }
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    error = dlerror();
  }
  return module;
}

void CloseModule(void* module) { dlclose(module); }

CallResult GuardedGetValue(GetValueFunc get_value, std::int32_t code, const char* param,
                           char*& buffer) {
  return Guarded([&] {
    buffer = get_value(code, param);
    return std::string(buffer != nullptr ? buffer : "");
  });
}

CallResult GuardedNumeric(InitFunc entry) {
  return Guarded([&] { return std::to_string(entry()); });
}

}  // namespace backend
}  // namespace zv::loader

#include "zelvane-lcd/loader/loader_backend.h"

#include <windows.h>

#include <array>
#include <cstdio>

#include "zelvane-lcd/loader/win32/seh_call.h"

namespace zv::loader {

void* ExportAddress(void* module, const char* name) {
  // GetProcAddress returns an untyped function pointer for functions and
  // variables alike.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

namespace {

// borlndmm.dll's SysFreeMem when the library is loaded with all three of its
// exports, else null.
SysFreeMemFunc BorlndmmFree() {
  HMODULE borlndmm = GetModuleHandleA(ZV_BORLNDMM_MODULE);
  if (borlndmm == nullptr || ExportAddress(borlndmm, ZV_BORLNDMM_SYSGETMEM) == nullptr ||
      ExportAddress(borlndmm, ZV_BORLNDMM_SYSREALLOCMEM) == nullptr) {
    return nullptr;
  }
  return FindExport<SysFreeMemFunc>(borlndmm, ZV_BORLNDMM_SYSFREEMEM);
}

}  // namespace

BufferRelease CurrentBufferRelease() {
  return BorlndmmFree() != nullptr ? BufferRelease::kBorlndmm : BufferRelease::kDefault;
}

bool ReleaseBuffer(BufferRelease release, char* buffer) {
  if (buffer == nullptr) {
    return true;
  }
  if (release == BufferRelease::kBorlndmm) {
    const SysFreeMemFunc free_mem = BorlndmmFree();
    return free_mem != nullptr && free_mem(buffer) == 0;
  }
  return HeapFree(GetProcessHeap(), 0, buffer) != FALSE;
}

namespace backend {
namespace {

// The error the plugin raised, or a report of any other structured exception
// that left it (an access violation, say): the host shows it and goes on.
CallResult Failure(const ZvRaised& raised) {
  const bool plugin_code =
      raised.code == ZV_ERROR_EXCEPTION_CODE && raised.message_pointer != nullptr;
  const bool by_contract = plugin_code && (raised.flags & EXCEPTION_NONCONTINUABLE) != 0 &&
                           raised.parameter_count == ZV_ERROR_EXCEPTION_PARAMS;
  if (plugin_code) {
    return {true, &raised.message[0], !by_contract};
  }
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "structured exception 0x%08lX",
                static_cast<unsigned long>(raised.code));
  return {true, text.data(), true};
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

}  // namespace

void* OpenModule(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = SystemMessage(GetLastError());
  }
  return module;
}

void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

CallResult GuardedGetValue(GetValueFunc get_value, std::int32_t code, const char* param,
                           char*& buffer) {
  ZvRaised raised{};
  buffer = nullptr;
  if (ZvCallGetValue(get_value, code, param, &buffer, &raised) == 0) {
    buffer = nullptr;
    return Failure(raised);
  }
  return {false, buffer != nullptr ? buffer : "", false};
}

CallResult GuardedNumeric(InitFunc entry) {
  ZvRaised raised{};
  std::int32_t value = 0;
  if (ZvCallNumeric(entry, &value, &raised) == 0) {
    return Failure(raised);
  }
  return {false, std::to_string(value), false};
}

}  // namespace backend
}  // namespace zv::loader

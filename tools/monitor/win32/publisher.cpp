#include "monitor/publisher.h"

#include <windows.h>

#include <array>
#include <string>

namespace zv::monitor {

struct Publisher::Native {
  HANDLE mapping = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;  // backing file of CreateExact's objects
  HANDLE running = nullptr;            // "<name>.publisher", see ClaimName

  Native() = default;
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  Native(Native&&) = delete;
  Native& operator=(Native&&) = delete;
  ~Native() {
    if (mapping != nullptr) {
      CloseHandle(mapping);
    }
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
    }
    if (running != nullptr) {
      CloseHandle(running);
    }
  }
};

namespace {

// A temporary file of `size` zero bytes, deleted when its last user closes it.
HANDLE CreateBackingFile(std::size_t size) {
  std::array<char, MAX_PATH + 1> folder{};
  std::array<char, MAX_PATH + 1> path{};
  if (GetTempPathA(static_cast<DWORD>(folder.size()), folder.data()) == 0 ||
      GetTempFileNameA(folder.data(), "zv", 0, path.data()) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file =
      CreateFileA(path.data(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (file != INVALID_HANDLE_VALUE &&
      (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) == 0 || SetEndOfFile(file) == 0)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Marks `name` as published by this process. The object itself cannot tell
// a live publisher from a reader that still holds it open after its
// publisher ended, so each publisher also holds an event that only
// publishers open: it exists exactly while one runs. Returns null when
// another publisher holds it.
HANDLE ClaimName(const char* name) {
  const std::string marker = std::string(name) + ".publisher";
  HANDLE running = CreateEventA(nullptr, TRUE, FALSE, marker.c_str());
  if (running != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(running);
    return nullptr;
  }
  return running;
}

}  // namespace

Publisher::Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size)
    : native_(std::move(native)), data_(data), size_(size) {}

// An object lives as long as any handle to it, and a reader that mapped it
// keeps its handle: a restarted publisher then gets the same object back,
// as the monitor itself does.
std::unique_ptr<Publisher> Publisher::Create(const char* name, std::size_t size) {
  auto native = std::make_unique<Native>();
  native->running = ClaimName(name);
  if (native->running == nullptr) {
    return nullptr;
  }
  const auto size64 = static_cast<unsigned long long>(size);
  native->mapping =
      CreateFileMappingA(native->file, nullptr, PAGE_READWRITE, static_cast<DWORD>(size64 >> 32),
                         static_cast<DWORD>(size64 & 0xFFFFFFFFU), name);
  if (native->mapping == nullptr) {
    return nullptr;
  }
  // Fails when an object left under the name is smaller than `size`.
  void* data = MapViewOfFile(native->mapping, FILE_MAP_WRITE, 0, 0, size);
  if (data == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::move(native), static_cast<unsigned char*>(data), size));
}

// The object takes the size of its backing file; views past its end fail
// under Wine as on Windows.
std::unique_ptr<Publisher> Publisher::CreateExact(const char* name, std::size_t size) {
  auto native = std::make_unique<Native>();
  native->running = ClaimName(name);
  if (native->running == nullptr) {
    return nullptr;
  }
  native->file = CreateBackingFile(size);
  if (native->file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  native->mapping = CreateFileMappingA(native->file, nullptr, PAGE_READWRITE, 0, 0, name);
  if (native->mapping == nullptr) {
    return nullptr;
  }
  void* data = MapViewOfFile(native->mapping, FILE_MAP_WRITE, 0, 0, size);
  if (data == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::move(native), static_cast<unsigned char*>(data), size));
}

Publisher::~Publisher() { UnmapViewOfFile(data_); }

void Publisher::WriteWord(std::size_t offset, std::int32_t word) {
  // One aligned store, so a reader never sees half a word.
  *reinterpret_cast<volatile std::int32_t*>(data_ + offset) = word;  // NOLINT
}

const bool kRestartReusesHeldObject = true;

// Objects die with their last handle; nothing can be left over.
bool RemoveStale(const char* /*name*/) { return false; }

}  // namespace zv::monitor

#include "monitor/publisher.h"

#include <windows.h>

namespace zv::monitor {

struct Publisher::Native {
  HANDLE mapping = nullptr;
};

Publisher::Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size)
    : native_(std::move(native)), data_(data), size_(size) {}

// An object lives as long as any handle to it, and a reader that mapped it
// keeps its handle: a restarted publisher then gets the same object back,
// as the monitor itself does.
std::unique_ptr<Publisher> Publisher::Create(const char* name, std::size_t size) {
  auto native = std::make_unique<Native>();
  const auto size64 = static_cast<unsigned long long>(size);
  native->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                       static_cast<DWORD>(size64 >> 32),
                                       static_cast<DWORD>(size64 & 0xFFFFFFFFU), name);
  if (native->mapping == nullptr) {
    return nullptr;
  }
  // Fails when an object left under the name is smaller than `size`.
  void* data = MapViewOfFile(native->mapping, FILE_MAP_WRITE, 0, 0, size);
  if (data == nullptr) {
    CloseHandle(native->mapping);
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::move(native), static_cast<unsigned char*>(data), size));
}

Publisher::~Publisher() {
  UnmapViewOfFile(data_);
  CloseHandle(native_->mapping);
}

void Publisher::WriteWord(std::size_t offset, std::int32_t word) {
  // One aligned store, so a reader never sees half a word.
  *reinterpret_cast<volatile std::int32_t*>(data_ + offset) = word;  // NOLINT
}

const bool kRestartReusesHeldObject = true;

// Objects die with their last handle; nothing can be left over.
bool RemoveStale(const char* /*name*/) { return false; }

}  // namespace zv::monitor

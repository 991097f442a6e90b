#include "support/object_holder.h"

#include <windows.h>

namespace zv::test {

struct ObjectHolder::Native {
  HANDLE mapping = nullptr;
  void* view = nullptr;
};

ObjectHolder::ObjectHolder(const char* name) : native_(std::make_unique<Native>()) {
  native_->mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (native_->mapping != nullptr) {
    native_->view = MapViewOfFile(native_->mapping, FILE_MAP_READ, 0, 0, 0);
  }
}

ObjectHolder::~ObjectHolder() {
  if (native_->view != nullptr) {
    UnmapViewOfFile(native_->view);
  }
  if (native_->mapping != nullptr) {
    CloseHandle(native_->mapping);
  }
}

bool ObjectHolder::holding() const { return native_->view != nullptr; }

}  // namespace zv::test

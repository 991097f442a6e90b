// The monitor's object held open by a reader other than the plugin (a second
// program that reads the block), for as long as the holder lives.
#pragma once

#include <memory>

namespace zv::test {

class ObjectHolder {
 public:
  // Opens the object `name` read-only, if it is there.
  explicit ObjectHolder(const char* name);
  ObjectHolder(const ObjectHolder&) = delete;
  ObjectHolder& operator=(const ObjectHolder&) = delete;
  ObjectHolder(ObjectHolder&&) = delete;
  ObjectHolder& operator=(ObjectHolder&&) = delete;
  ~ObjectHolder();

  [[nodiscard]] bool holding() const;

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace zv::test

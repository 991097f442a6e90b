// Publishing side of the monitor's shared memory, for the monitor stand-in
// and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The block's name, layout and word encodings.
#include "readings/monitor_block.h"

namespace zv::monitor {

// A named shared-memory object this process created and writes. The object
// is removed when the publisher is destroyed.
class Publisher {
 public:
  // Creates the object `name` with `size` zero bytes. It appears under its
  // name with its full size at once, so a reader never catches it half made.
  // Returns nullptr when it cannot be created (for example because another publisher of `name` is
  // running). On Windows an object that only a reader still holds open under
  // the name is taken over instead, contents and all, as the monitor does
  // when restarted; it must be at least `size` bytes.
  static std::unique_ptr<Publisher> Create(const char* name, std::size_t size);
  // Like Create, for objects smaller than a reader's view: the object has
  // exactly `size` bytes. (Windows keeps an object of the paging file in
  // whole pages under Wine; this one is backed by a temporary file.)
  static std::unique_ptr<Publisher> CreateExact(const char* name, std::size_t size);

  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;
  Publisher(Publisher&&) = delete;
  Publisher& operator=(Publisher&&) = delete;
  ~Publisher();

  // Writes the 32-bit little-endian word at `offset` (which must lie within
  // the object).
  void WriteWord(std::size_t offset, std::int32_t word);
  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  struct Native;
  Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size);

  std::unique_ptr<Native> native_;
  unsigned char* data_;
  std::size_t size_;
};

// Whether a publisher created after an earlier one ended, while a reader
// still holds the earlier object open, writes into that same object. True on
// Windows, where an object lives while any handle does and the name keeps
// pointing at it; false on POSIX, where the name was removed with the earlier
// publisher and the reader keeps an object nobody writes any more.
extern const bool kRestartReusesHeldObject;

// Removes a stale object left by a publisher that was killed. Returns whether
// one was removed. Does nothing on platforms whose objects die with their
// last handle.
bool RemoveStale(const char* name);

}  // namespace zv::monitor

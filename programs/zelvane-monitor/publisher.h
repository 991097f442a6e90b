// Publishing side of the monitor's shared memory, for zelvane-monitor
// and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The block's name, layout and word encodings.
#include "monitor_block/layout.h"

namespace zv::monitor {

// What a publisher may put aside when something already stands under the
// name. A running publisher's object is never taken, whatever the choice.
enum class Takeover {
  // Only what an ended publisher left: on POSIX a killed publisher's object
  // (one that no running publisher holds locked); on Windows the object that
  // another program still holds open after its publisher ended.
  Leftovers,
  // Also anything else under the name that no running publisher holds: a
  // FIFO, a folder, a link, a device, another user's object (as far as the
  // system lets this user remove it).
  Anything,
};

// What Create found and did, for the messages of zelvane-monitor.
struct CreateReport {
  std::string error;         // why nothing was published; empty on success
  bool running = false;      // the error is: another publisher is running
  bool replaceable = false;  // the error is: Takeover::Anything would replace it
  std::string replaced;      // what was put aside under the name, if anything
};

// A named shared-memory object this process created and writes. While it
// lives, other publishers can tell that it runs (POSIX: it holds an
// open-file-description write lock on the whole object; Windows: it holds
// the event "<name>.publisher"). The object is removed when the publisher is
// destroyed, if the name still stands for it.
class Publisher {
 public:
  // Creates the object `name` with `size` zero bytes. It appears under its
  // name with its full size at once, its storage reserved first, so a reader
  // never catches it half made and writes to it never fail for lack of
  // space. Returns nullptr (and says why in `report`) when it cannot be
  // created: another publisher of `name` is running, there is no room, or
  // something under the name is not for `takeover` to replace.
  // On Windows an object that only other programs still hold open under the name is
  // taken over instead and zeroed first, as the monitor does when restarted;
  // it must be at least `size` bytes.
  static std::unique_ptr<Publisher> Create(const char* name, std::size_t size,
                                           CreateReport* report = nullptr,
                                           Takeover takeover = Takeover::Leftovers);
  // Like Create, for objects smaller than a reader's view: the object has
  // exactly `size` bytes. (Windows keeps an object of the paging file in
  // whole pages under Wine; this one is backed by a temporary file.)
  static std::unique_ptr<Publisher> CreateExact(const char* name, std::size_t size,
                                                CreateReport* report = nullptr,
                                                Takeover takeover = Takeover::Leftovers);

  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;
  Publisher(Publisher&&) = delete;
  Publisher& operator=(Publisher&&) = delete;
  ~Publisher();

  // Writes the 32-bit little-endian word at `offset` (which must lie within
  // the object).
  void WriteWord(std::size_t offset, std::int32_t word);
  [[nodiscard]] std::size_t size() const { return size_; }
  // Whether the name still stands for this object, where readers find it.
  // False, and why in `why`, once it was removed or stands for something
  // else (on POSIX anyone allowed to can remove or replace it; on Windows a
  // name lives while its object does: always true).
  bool StillNamed(std::string& why) const;

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
// publisher and the new one makes a new object.
extern const bool kRestartReusesHeldObject;

// Whether a killed publisher's object stays under its name until someone
// removes it: true on POSIX; false on Windows, where the name goes with the
// last handle to the object.
extern const bool kObjectOutlivesKilledPublisher;

// Removes what stands under `name` unless a running publisher holds it: a
// killed publisher's object, or anything else. Returns whether something
// was removed. Does nothing on platforms whose objects die with their last
// handle.
bool RemoveStale(const char* name);

// Whether anything stands under `name` now: an object, running or left
// over, or on POSIX anything else in its place.
bool NameTaken(const char* name);

}  // namespace zv::monitor

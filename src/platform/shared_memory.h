// Read-only access to a named block of shared memory published by another
// process, and what the system tells about whether its publisher is still
// there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv::platform {

// An opened shared-memory object; nullptr means none.
using SharedMemoryHandle = void*;

// A read-only view of an object's first bytes; nullptr means none. Only
// ReadViewWord looks through it.
using SharedMemoryView = const void*;

// Opens the named object for reading, without ever blocking. Returns nullptr
// when there is no usable object of that name yet: none at all, one that
// cannot be opened for reading, or one smaller than `size` bytes (its
// creator may still be sizing it). The POSIX backend also refuses anything
// but a regular object owned by this user or root.
SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name, std::size_t size);

// Makes a view of the first `size` bytes of the object. Returns nullptr when
// the view cannot be made, including (Windows) when the object is smaller
// than `size`.
SharedMemoryView MapReadOnlyView(SharedMemoryHandle handle, std::size_t size);

// Reads the 32-bit little-endian word at `offset` (4-byte aligned, inside the
// view) as it is now, whole: never half of an old and half of a new word.
// Returns false, leaving `word` alone, when the object no longer holds that
// word (POSIX: another process shrank it since it was opened).
bool ReadViewWord(SharedMemoryHandle handle, SharedMemoryView view, std::size_t offset,
                  std::int32_t& word);

// Releases the view (unless nullptr) and the handle.
void CloseSharedMemory(SharedMemoryHandle handle, SharedMemoryView view, std::size_t size);

// What one sign tells about the publisher of an object held open: gone for
// certain, not gone as far as this sign can tell, or nothing (the sign
// cannot be read here).
enum class PublisherSign { kPresent, kGone, kUnknown };

// The sign the system gives for every publisher, whatever it writes.
// POSIX: gone once the object held was removed, or another object (or
// anything else) stands under `name`. Windows: gone once no section is
// under `name`, or no handle but the check's own is open to it (a reader
// holds only its view); unknown where the name cannot be looked up. There,
// unless gone, the view is made again of the section under `name`, at the
// same address, so that a publisher started anew is read. Never blocks.
PublisherSign CheckPublisher(SharedMemoryHandle handle, const char* name);

// The sign of a publisher that holds a write lock on its object for as long
// as it runs (our own monitors on POSIX): gone when no one holds a write
// lock on it, which is so at once when such a publisher dies, however it
// dies. Only queries, never takes a lock. Unknown where locks cannot be
// queried, and always on Windows, whose publishers show by their handles.
PublisherSign CheckPublisherLock(SharedMemoryHandle handle);

}  // namespace zv::platform

#include "platform/shared_memory.h"

#include <windows.h>
#include <winternl.h>

#include <new>

// A section lives while any handle to it is open or any view of it is
// mapped, but its name leads to it only while a handle is open. A reader
// here keeps only its view: once it has mapped it, it closes its handle, so
// the handles open to the section under the name are those of its publisher
// (and of readers of other kinds). Whether the monitor is still there shows
// in them: see CheckPublisher. Nothing else is named or shared among the
// readers, so no other program can make them see the monitor wrongly by
// taking or holding a name beside the block's.
namespace zv::platform {
namespace {

// What the handle stands for.
struct Connection {
  HANDLE section = nullptr;  // from the open until the view is asked for
  void* view = nullptr;      // null when it could not be made (or was lost)
  std::size_t size = 0;      // of the view asked for; 0 until then
};

Connection* ConnectionOf(SharedMemoryHandle handle) { return static_cast<Connection*>(handle); }

using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG,
                                             PULONG);

// ntdll's NtQueryObject, looked up once (ntdll is loaded in every process),
// or null where there is none: the handle counts are then unknown, and the
// name alone tells.
QueryObjectFunction QueryObject() {
  static const QueryObjectFunction function = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
      return QueryObjectFunction{nullptr};
    }
    // GetProcAddress's untyped result, as the function's type.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast)
    return reinterpret_cast<QueryObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
    // NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast)
  }();
  return function;
}

// The number of handles open to `object` in every process; false when it
// cannot be read.
bool HandleCount(HANDLE object, ULONG& count) {
  const QueryObjectFunction query = QueryObject();
  PUBLIC_OBJECT_BASIC_INFORMATION info{};
  if (query == nullptr || query(object, ObjectBasicInformation, &info, sizeof info, nullptr) < 0) {
    return false;
  }
  count = info.HandleCount;
  return true;
}

// Whether a call failed with `error` for want of memory or handles, which
// tells nothing about what stands under a name.
bool Shortage(DWORD error) {
  switch (error) {
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_NOT_ENOUGH_QUOTA:
    case ERROR_COMMITMENT_LIMIT:
    case ERROR_TOO_MANY_OPEN_FILES:
      return true;
    default:
      return false;
  }
}

// Makes the connection show the section that `named` (the section under the
// name now) stands for; false when it cannot, and the connection is to be
// made anew. Whether that section is the one viewed cannot be asked without
// a handle to the viewed one, which would count as a publisher's: a monitor
// that ended and was started again between two checks has made a new
// section, which only the name leads to. So the view is made again in its
// place, of the section under the name, at the same address, which the
// caller keeps. Should the address have been taken meanwhile (another
// thread of the host allocating there), the view is lost and the caller
// connects again. A connection whose view was refused (a section too small)
// holds no view; a section under the name that maps is then another one.
bool Follow(Connection& connection, HANDLE named) {
  if (connection.view == nullptr) {
    if (connection.size == 0) {
      return true;  // no view asked for yet
    }
    void* view = MapViewOfFile(named, FILE_MAP_READ, 0, 0, connection.size);
    if (view == nullptr) {
      return true;
    }
    UnmapViewOfFile(view);
    return false;
  }
  void* const place = connection.view;
  UnmapViewOfFile(place);
  void* view = MapViewOfFileEx(named, FILE_MAP_READ, 0, 0, connection.size, place);
  if (view != place) {
    if (view != nullptr) {
      UnmapViewOfFile(view);
    }
    connection.view = nullptr;
    return false;
  }
  return true;
}

}  // namespace

// A section is created with its size in one call and never shrinks, so no
// object of the wrong size can be caught half made here: a small one is
// refused by MapViewOfFile below.
SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name, std::size_t /*size*/) {
  auto* connection = new (std::nothrow) Connection;
  if (connection == nullptr) {
    return nullptr;
  }
  connection->section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (connection->section == nullptr) {
    delete connection;
    return nullptr;
  }
  return connection;
}

// Windows refuses a view longer than the object (the call fails), so an
// object smaller than `size` gives nullptr here without further checks. The
// view holds the section for as long as it is mapped (Windows keeps a mapped
// section until its last view is unmapped), so the handle is closed at once,
// whether the view was made or not: from here on the reader holds no handle.
SharedMemoryView MapReadOnlyView(SharedMemoryHandle handle, std::size_t size) {
  Connection* connection = ConnectionOf(handle);
  if (connection->section == nullptr) {
    return nullptr;
  }
  connection->view = MapViewOfFile(connection->section, FILE_MAP_READ, 0, 0, size);
  connection->size = size;
  CloseHandle(connection->section);
  connection->section = nullptr;
  return connection->view;
}

bool ReadViewWord(SharedMemoryHandle /*handle*/, SharedMemoryView view, std::size_t offset,
                  std::int32_t& word) {
  // The monitor rewrites the block while we read it: one aligned volatile
  // load per reading, never cached.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  word = *reinterpret_cast<const volatile std::int32_t*>(static_cast<const char*>(view) + offset);
  return true;
}

// The view is the connection's own: after a check that lost it (see
// Follow) the caller's copy of its address is stale.
void CloseSharedMemory(SharedMemoryHandle handle, SharedMemoryView /*view*/, std::size_t /*size*/) {
  Connection* connection = ConnectionOf(handle);
  if (connection->view != nullptr) {
    UnmapViewOfFile(connection->view);
  }
  if (connection->section != nullptr) {
    CloseHandle(connection->section);
  }
  delete connection;
}

// The rule rests on the object manager: a named section keeps its name
// only while a handle to it is open, so a monitor that publishes under the
// name holds one; the kernel closes every handle of a process that ends,
// however it ends (TerminateProcess and a crash included); and it counts
// the handles open to an object in all processes. Readers here hold none
// (see MapReadOnlyView), so the section under the name, opened here for a
// moment, has a publisher when a handle besides this one is open to it. No
// section under the name (nothing there, or an object of another kind)
// means the monitor is gone, and so does a name this reader may no longer
// open: the section it opened before lets it (only its owner could change
// that), so another object stands there, another user's, say. A reader of
// another kind holding the section counts as a publisher; so does another
// host's check at the same moment, for one check. Only a look-up that the
// system's shortage of memory or handles failed tells nothing.
PublisherSign CheckPublisher(SharedMemoryHandle handle, const char* name) {
  Connection* connection = ConnectionOf(handle);
  HANDLE named = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (named == nullptr) {
    return Shortage(GetLastError()) ? PublisherSign::kUnknown : PublisherSign::kGone;
  }
  // The name led to a section, so a handle was open to it a moment ago; the
  // count tells whether one still is besides this reader's.
  const ULONG own = connection->section != nullptr ? 2 : 1;
  ULONG count = 0;
  const bool gone = (HandleCount(named, count) && count <= own) || !Follow(*connection, named);
  CloseHandle(named);
  return gone ? PublisherSign::kGone : PublisherSign::kPresent;
}

PublisherSign CheckPublisherLock(SharedMemoryHandle /*handle*/) { return PublisherSign::kUnknown; }

}  // namespace zv::platform

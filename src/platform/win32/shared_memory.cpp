#include "platform/shared_memory.h"

#include <windows.h>
#include <winternl.h>

#include <new>
#include <string>

// A section lives while any handle to it is open, and its name leads to it
// for as long, so a reader's own handle keeps the block of a monitor that
// has ended. Whether the monitor is still there shows in the section's
// handle count instead: see CheckPublisher.
namespace zv::platform {
namespace {

// What the handle stands for: the section, and this reader's handle to the
// readers' event that goes with it.
struct Connection {
  HANDLE section = nullptr;
  HANDLE readers = nullptr;  // null when it could not be opened
};

Connection* ConnectionOf(SharedMemoryHandle handle) { return static_cast<Connection*>(handle); }

// Every reader of this plugin holds one handle to the event "<name>.readers"
// for each handle it holds to the section "<name>", from just after it opens
// the section until just before it closes it. (That order never lets the
// event's count rise above the readers' share of the section's.)
std::string ReadersEventName(const char* name) { return std::string(name) + ".readers"; }

using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG,
                                             PULONG);

// ntdll's NtQueryObject, looked up once (ntdll is loaded in every process),
// or null where there is none: the handle counts are then unknown and the
// heartbeat of our own monitors is all that tells.
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

}  // namespace

// A section is created with its size in one call and never shrinks, so no
// object of the wrong size can be caught half made here: a small one is
// refused by MapViewOfFile below.
SharedMemoryHandle OpenSharedMemoryReadOnly(const char* name, std::size_t /*size*/) {
  const std::string readers_name = ReadersEventName(name);
  auto* connection = new (std::nothrow) Connection;
  if (connection == nullptr) {
    return nullptr;
  }
  connection->section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (connection->section == nullptr) {
    delete connection;
    return nullptr;
  }
  // Only the right to wait is asked for, which an event that another user
  // made grants too. Without the event this reader still reads; its handle
  // then counts as a publisher's for the other readers, whose heartbeat
  // check still sees our own monitors leave.
  connection->readers =
      CreateEventExA(nullptr, readers_name.c_str(), CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE);
  return connection;
}

// Windows refuses a view longer than the object (the call fails), so an
// object smaller than `size` gives nullptr here without further checks.
SharedMemoryView MapReadOnlyView(SharedMemoryHandle handle, std::size_t size) {
  return MapViewOfFile(ConnectionOf(handle)->section, FILE_MAP_READ, 0, 0, size);
}

bool ReadViewWord(SharedMemoryHandle /*handle*/, SharedMemoryView view, std::size_t offset,
                  std::int32_t& word) {
  // The monitor rewrites the block while we read it: one aligned volatile
  // load per reading, never cached.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  word = *reinterpret_cast<const volatile std::int32_t*>(static_cast<const char*>(view) + offset);
  return true;
}

void CloseSharedMemory(SharedMemoryHandle handle, SharedMemoryView view, std::size_t /*size*/) {
  Connection* connection = ConnectionOf(handle);
  if (view != nullptr) {
    UnmapViewOfFile(view);
  }
  if (connection->readers != nullptr) {
    CloseHandle(connection->readers);
  }
  CloseHandle(connection->section);
  delete connection;
}

// The rule rests on the object manager: it counts the handles open to an
// object in all processes; a named section stays under its name only while
// a handle to it is open, so a monitor that publishes holds one; and the
// kernel closes every handle of a process that ends, however it ends
// (TerminateProcess and a crash included). The readers of this plugin hold
// as many handles to the readers' event as to the section, so a section
// with no more handles than the event has none of anyone else: the
// monitor's are gone. A reader of another kind holding the section counts
// as a publisher here.
PublisherSign CheckPublisher(SharedMemoryHandle handle, const char* /*name*/) {
  const Connection* connection = ConnectionOf(handle);
  ULONG sections = 0;
  ULONG readers = 0;
  if (connection->readers == nullptr || !HandleCount(connection->section, sections) ||
      !HandleCount(connection->readers, readers)) {
    return PublisherSign::kUnknown;
  }
  return sections > readers ? PublisherSign::kPresent : PublisherSign::kGone;
}

PublisherSign CheckPublisherLock(SharedMemoryHandle /*handle*/) { return PublisherSign::kUnknown; }

}  // namespace zv::platform

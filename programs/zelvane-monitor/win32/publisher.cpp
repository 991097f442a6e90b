#include "zelvane-monitor/publisher.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace zv::monitor {

namespace {

// The handles a publisher holds.
struct Section {
  HANDLE mapping = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;  // backing file of CreateExact's objects
  HANDLE running = nullptr;            // "<name>.publisher", see ClaimName

  Section() = default;
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;
  Section(Section&&) = delete;
  Section& operator=(Section&&) = delete;
  ~Section() {
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

// A system error code as text, for messages.
std::string ErrorText(DWORD error) {
  std::array<char, 256> text{};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text.data(), static_cast<DWORD>(text.size()), nullptr);
  std::string message(text.data(), length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return (message.empty() ? "error" : message) + " (" + std::to_string(error) + ")";
}

// Creates (or takes over) the section `name` backed by `file` (the paging
// file when INVALID_HANDLE_VALUE), claims it and maps `size` bytes. A section
// that another program still holds after its publisher ended is taken over and every
// byte of the view cleared first, so that no word keeps the earlier
// publisher's value. Returns null, saying why in `report`.
std::unique_ptr<Section> Open(const char* name, std::size_t size, HANDLE file, CreateReport& report,
                              unsigned char*& data) {
  auto native = std::make_unique<Section>();
  native->file = file;
  native->running = ClaimName(name);
  if (native->running == nullptr) {
    report.running = true;
    report.error =
        std::string("another monitor is running (it holds the event ") + name + ".publisher)";
    return nullptr;
  }
  const auto size64 = static_cast<unsigned long long>(size);
  const bool sized = file == INVALID_HANDLE_VALUE;
  native->mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE,
                                       sized ? static_cast<DWORD>(size64 >> 32) : 0,
                                       sized ? static_cast<DWORD>(size64 & 0xFFFFFFFFU) : 0, name);
  const DWORD created = GetLastError();
  if (native->mapping == nullptr) {
    report.error = std::string("cannot create the section ") + name + ": " + ErrorText(created);
    return nullptr;
  }
  // Fails when a section left under the name is smaller than `size`.
  void* view = MapViewOfFile(native->mapping, FILE_MAP_WRITE, 0, 0, size);
  if (view == nullptr) {
    report.error = "cannot map " + std::to_string(size) + " bytes of the section " + name + ": " +
                   ErrorText(GetLastError());
    return nullptr;
  }
  data = static_cast<unsigned char*>(view);
  if (created == ERROR_ALREADY_EXISTS) {
    for (std::size_t offset = 0; offset + 4 <= size; offset += 4) {
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): a word of the mapped block
      *reinterpret_cast<volatile std::int32_t*>(data + offset) = 0;
    }
    report.replaced = std::string("took over the section ") + name +
                      ", which readers still held after its monitor ended; every word was cleared "
                      "first";
  }
  return native;
}

}  // namespace

struct Publisher::Native {
  std::unique_ptr<Section> section;
};

Publisher::Publisher(std::unique_ptr<Native> native, unsigned char* data, std::size_t size)
    : native_(std::move(native)), data_(data), size_(size) {}

// An object keeps its name as long as any handle to it lives. The plugin's
// readers keep only their views, so the name goes with its publisher; a
// program that holds a handle (a reader of another kind) keeps it, and a
// restarted publisher then gets the same object back, as the monitor itself
// does. Nothing else can be left under the name, so
// `takeover` changes nothing here.
std::unique_ptr<Publisher> Publisher::Create(const char* name, std::size_t size,
                                             CreateReport* report, Takeover /*takeover*/) {
  CreateReport ignored;
  unsigned char* data = nullptr;
  auto section =
      Open(name, size, INVALID_HANDLE_VALUE, report != nullptr ? *report : ignored, data);
  if (section == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::make_unique<Native>(Native{std::move(section)}), data, size));
}

// The object takes the size of its backing file; views past its end fail
// under Wine as on Windows.
std::unique_ptr<Publisher> Publisher::CreateExact(const char* name, std::size_t size,
                                                  CreateReport* report, Takeover /*takeover*/) {
  CreateReport ignored;
  CreateReport& said = report != nullptr ? *report : ignored;
  HANDLE file = CreateBackingFile(size);
  if (file == INVALID_HANDLE_VALUE) {
    said.error = "cannot create a temporary file of " + std::to_string(size) +
                 " bytes: " + ErrorText(GetLastError());
    return nullptr;
  }
  unsigned char* data = nullptr;
  auto section = Open(name, size, file, said, data);  // closes `file` when it fails
  if (section == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<Publisher>(
      new Publisher(std::make_unique<Native>(Native{std::move(section)}), data, size));
}

Publisher::~Publisher() { UnmapViewOfFile(data_); }

bool Publisher::StillNamed(std::string& /*why*/) const { return true; }

void Publisher::WriteWord(std::size_t offset, std::int32_t word) {
  // One aligned store, so a reader never sees half a word.
  *reinterpret_cast<volatile std::int32_t*>(data_ + offset) = word;  // NOLINT
}

const bool kRestartReusesHeldObject = true;
const bool kObjectOutlivesKilledPublisher = false;

// Objects die with their last handle; nothing can be left over.
bool RemoveStale(const char* /*name*/) { return false; }

bool NameTaken(const char* name) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (mapping != nullptr) {
    CloseHandle(mapping);
  }
  return mapping != nullptr;
}

}  // namespace zv::monitor
